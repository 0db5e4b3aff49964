// The levels of a record and the fields it carries besides its message.
#pragma once

namespace zt::log {

enum LogLevel {
  LOG_FATAL = 0,
  LOG_ALERT = 1,
  LOG_CRIT = 2,
  LOG_ERROR = 3,
  LOG_WARN = 4,
  LOG_NOTICE = 5,
  LOG_INFO = 6,
  LOG_DEBUG = 7
};

// Each line format prints the fields it needs and leaves the others alone.
struct LogRecord {
  int nLevel = LOG_INFO;
  const char *pstrFile = "";     // source file; the part after its last "\\" or "/" is printed
  const char *pstrFunction = ""; // null prints as empty
  int nLine = 0;
  int nArea = 0; // the part of ZTIP a line comes from
};

} // namespace zt::log
