// Reads one line of a file or of the console.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace zt::console {

// The next line without its line end, cut to nMaxChars characters (the rest of a longer line
// is skipped); nothing at the end of input.
std::optional<std::string> readLine(std::FILE *pFile, size_t nMaxChars);

} // namespace zt::console
