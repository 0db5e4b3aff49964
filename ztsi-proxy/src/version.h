// The program's version text.
#pragma once

#include <string>

namespace zt::proxy {

// "ztsi-proxy V1.0.0 (<build time>)", e.g. ztsi-proxy V1.0.0 (2021-10-19 09:42:32).
std::string versionString();

} // namespace zt::proxy
