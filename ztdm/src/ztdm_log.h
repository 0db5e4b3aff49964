// The library's log channel in ztlog, opened when the library is loaded.
#pragma once

#include "ztlog.h"

namespace zt::dm {

int ztdmLogChannel();

} // namespace zt::dm

#define ZTDM_LOG(nLevel, ...) ztLogPrintf(zt::dm::ztdmLogChannel(), nLevel, __VA_ARGS__)
#define ZTDM_LOG_ERROR(...) ZTDM_LOG(ZTLOG_LEVEL_ERROR, __VA_ARGS__)
#define ZTDM_LOG_NOTICE(...) ZTDM_LOG(ZTLOG_LEVEL_NOTICE, __VA_ARGS__)
#define ZTDM_LOG_PROGRESS(...) ZTDM_LOG(ZTLOG_LEVEL_PROGRESS, __VA_ARGS__)
