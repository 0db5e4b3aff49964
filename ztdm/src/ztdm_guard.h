// The exception barrier of ztdm: exported functions and the callbacks busline and the timer
// thread run inside ztdm pass their bodies through it, so an exception becomes the failure
// result and one line in ztdm's log instead of crossing into C code or ending a thread.
#pragma once

#include "c_boundary.h"
#include "ztdm_log.h"

namespace zt::dm {

inline void logZtdmException(const char *pstrFunction, const char *pstrWhat) {
  ZTDM_LOG_ERROR("%s: exception caught: %s", pstrFunction, pstrWhat);
}

inline constexpr Boundary<&logZtdmException> ztdmGuarded{};

} // namespace zt::dm
