// The "ztsi" log channel of ztlog, opened when the library is loaded.
#pragma once

#include "ztlog.h"

namespace zt {

int ztsiLogChannel();

} // namespace zt

#define ZTSI_LOG_ERROR(...) ztLogPrintf(zt::ztsiLogChannel(), ZTLOG_LEVEL_ERROR, __VA_ARGS__)
#define ZTSI_LOG_INFO(...) ztLogPrintf(zt::ztsiLogChannel(), ZTLOG_LEVEL_PROGRESS, __VA_ARGS__)
