// The barrier at every entry from a C library (ztsi, ztdm, ZTIP) into the proxy: an
// exception becomes one ERROR line and the call's failure result, never a crash.
#pragma once

#include "c_boundary.h"

namespace zt::proxy {

void logCallbackException(const char *pstrFunction, const char *pstrWhat);

inline constexpr zt::Boundary<&logCallbackException> guarded{};

} // namespace zt::proxy
