// The exception barrier of every exported ztsi_ function and of every call busline makes into
// ztsi: an exception becomes the failure result and one ERROR line in ztsi's log.
#pragma once

#include "c_boundary.h"
#include "ztsi_log.h"

namespace zt::si {

inline void logZtsiException(const char *pstrFunction, const char *pstrWhat) {
  ZTSI_LOG_ERROR("%s failed: %s", pstrFunction, pstrWhat);
}

inline constexpr Boundary<&logZtsiException> ztsiGuarded{};

} // namespace zt::si
