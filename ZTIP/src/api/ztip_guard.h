// The exception barrier of the library: every exported function runs its body through it, and
// so does every call of an application callback on a library thread. An exception becomes the
// function's failure result and one line in the library log; a library thread goes on.
#pragma once

#include "log/ZTIPMyFileLog.h"
#include "c_boundary.h"

namespace zt::ip {

inline void logZtipException(const char *pstrFunction, const char *pstrWhat) {
  ZTIPLog(kLogError, kAreaOperation, "%s: exception caught: %s", pstrFunction, pstrWhat);
}

inline constexpr zt::Boundary<&logZtipException> ztipGuarded{};

} // namespace zt::ip
