// The exception barrier of ztdm: exported functions and the callbacks busline and the timer
// thread run inside ztdm pass their bodies through it, so an exception becomes the failure
// result and one line in ztdm's log instead of crossing into C code or ending a thread.
#pragma once

#include "c_boundary.h"
#include "ztdm_log.h"

#include <utility>

namespace zt {

inline void logZtdmException(const char *pstrFunction, const char *pstrWhat) {
  ZTDM_LOG_ERROR("%s: exception caught: %s", pstrFunction, pstrWhat);
}

template <typename Result, typename Body>
Result ztdmGuarded(const char *pstrFunction, Result failure, Body &&body) noexcept {
  return guardedCall(pstrFunction, failure, logZtdmException, std::forward<Body>(body));
}

template <typename Body> void ztdmGuarded(const char *pstrFunction, Body &&body) noexcept {
  guardedCall(pstrFunction, logZtdmException, std::forward<Body>(body));
}

} // namespace zt
