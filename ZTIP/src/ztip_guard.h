// The exception barrier of the library: every exported function runs its body through it, and
// so does every call of an application callback on a library thread. An exception becomes the
// function's failure result and one line in the library log; a library thread goes on.
#pragma once

#include "ZTIPMyFileLog.h"
#include "c_boundary.h"

#include <utility>

namespace ztip {

inline void logZtipException(const char *pstrFunction, const char *pstrWhat) {
  ZTIPLog(kLogError, kAreaOperation, "%s: exception caught: %s", pstrFunction, pstrWhat);
}

template <typename Result, typename Body>
Result ztipGuarded(const char *pstrFunction, Result failure, Body &&body) noexcept {
  return zt::guardedCall(pstrFunction, failure, logZtipException, std::forward<Body>(body));
}

template <typename Body> void ztipGuarded(const char *pstrFunction, Body &&body) noexcept {
  zt::guardedCall(pstrFunction, logZtipException, std::forward<Body>(body));
}

} // namespace ztip
