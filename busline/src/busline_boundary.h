// busline's side of the C boundary: every exported function runs its body through guarded(),
// which turns an exception into the given failure result and one ERROR line.
#pragma once

#include <utility>

#include "busline_log.h"
#include "c_boundary.h"

namespace busline {

inline void logException(const char *pstrFunction, const char *pstrWhat) {
  BUSLINE_LOG(zt::LOG_ERROR, "%s,exception,%s", pstrFunction, pstrWhat);
}

template <typename Result, typename Body> Result guarded(const char *pstrFunction, Result failure, Body &&body) {
  return zt::guardedCall(pstrFunction, failure, logException, std::forward<Body>(body));
}

template <typename Body> void guarded(const char *pstrFunction, Body &&body) {
  zt::guardedCall(pstrFunction, logException, std::forward<Body>(body));
}

} // namespace busline
