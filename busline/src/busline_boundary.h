// busline's side of the C boundary: every exported function runs its body through guarded(),
// which turns an exception into the given failure result and one ERROR line.
#pragma once

#include "busline_log.h"
#include "c_boundary.h"

namespace zt::bus {

inline void logException(const char *pstrFunction, const char *pstrWhat) {
  BUSLINE_LOG(zt::log::LOG_ERROR, "%s,exception,%s", pstrFunction, pstrWhat);
}

inline constexpr zt::Boundary<&logException> guarded{};

} // namespace zt::bus
