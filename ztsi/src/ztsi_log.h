// The "ztsi" log channel of ztlog, opened when the library is loaded.
#pragma once

#include "ztlog.h"

namespace zt::si {

int ztsiLogChannel();

} // namespace zt::si

#define ZTSI_LOG_ERROR(...) ztLogPrintf(zt::si::ztsiLogChannel(), ZTLOG_LEVEL_ERROR, __VA_ARGS__)
#define ZTSI_LOG_INFO(...) ztLogPrintf(zt::si::ztsiLogChannel(), ZTLOG_LEVEL_PROGRESS, __VA_ARGS__)
