// The exception barrier of every exported ztsi_ function and of every call busline makes into
// ztsi: an exception becomes the failure result and one ERROR line in ztsi's log.
#pragma once

#include "c_boundary.h"
#include "ztsi_log.h"

#include <utility>

namespace zt {

inline void logZtsiException(const char *pstrFunction, const char *pstrWhat) {
  ZTSI_LOG_ERROR("%s failed: %s", pstrFunction, pstrWhat);
}

template <typename Result, typename Body>
Result ztsiGuarded(const char *pstrFunction, Result failure, Body &&body) noexcept {
  return guardedCall(pstrFunction, failure, &logZtsiException, std::forward<Body>(body));
}

template <typename Body> void ztsiGuarded(const char *pstrFunction, Body &&body) noexcept {
  guardedCall(pstrFunction, &logZtsiException, std::forward<Body>(body));
}

} // namespace zt
