// What a shared library exports, as the dynamic linker sees it.
#pragma once

#include <set>
#include <string>

namespace zt::test {

// The defined dynamic symbols of the library (nm -D --defined-only); empty when nm fails.
std::set<std::string> exportedSymbols(const std::string &strLibraryPath);

} // namespace zt::test
