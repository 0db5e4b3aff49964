// The exception barrier of every exported function and of every call into the application's
// callbacks: an exception becomes the failure result and one ERROR line in ztmq's log.
#pragma once

#include "c_boundary.h"
#include "ztmq_log.h"

namespace zt::mq {

inline void logZtmqException(const char *pstrFunction, const char *pstrWhat) {
  ZTMQ_LOG_ERROR("%s failed: %s", pstrFunction, pstrWhat);
}

inline constexpr zt::Boundary<&logZtmqException> ztmqGuarded{};

// The result of an exported function that failed by an exception (usually out of memory).
constexpr int kResultOfException = -16;

} // namespace zt::mq
