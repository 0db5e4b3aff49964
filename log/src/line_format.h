// The line formats: what a line prints around its message.
#pragma once

#include "line_buffer.h"
#include "log_option.h"
#include "log_record.h"

#include <chrono>

namespace zt::log {

// Everything in front of the message: the local time stamp of tpTime and the fields of the format.
void beginLine(LineBuffer &line, LineFormat eFormat, bool bFunctionName, const LogRecord &record,
               std::chrono::system_clock::time_point tpTime);
// The end of the line behind the message.
void endLine(LineBuffer &line, LineFormat eFormat);

} // namespace zt::log
