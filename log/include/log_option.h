// The settings a log starts with: the look of its lines, the files it writes and the rest of
// the option record.
#pragma once

#include "log_record.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace zt::log {

// How a line looks after its time stamp "YYYY-MM-DD hh:mm:ss.mmm  " (local time).
enum class LineFormat {
  Standard, // [LEVEL][file:line][thread] msg\r\n
  Busline,  // [LEVEL][thread] msg\r\n
  Ztip,     // :log: level: L, area: A, msg\n
  // With bLogFuctionName, Standard and Busline both print [LEVEL][file:line][function][thread] msg\r\n.
};

// Which files a log writes and when it moves on to the next one.
enum class FilePolicy {
  SizeRotation, // <dir>/<name>.log; a line that would pass the size limit first renames it to
                // <dir>/<name>.bak (one generation) and starts a fresh file
  Daily,        // <dir>/<YYYY-MM-DD>-<name>.log for the local day a line is written on; the
                // directory must exist
};

// The wall clock of line times and daily file names.
using LogClock = std::chrono::system_clock::time_point (*)();

struct LogOption {
  std::string strLogDir;  // directory of the log files; empty for the working directory
  std::string strLogName; // file base name
  std::string strHeader;  // written at the top of every fresh or rotated file
  bool bLogToStdout = false;
  bool bLogToFile = false;
  bool bLogFlushImmediately = false;
  bool bLogAsync = false;
  bool bLogFuctionName = false;
  int nLogLevel = LOG_INFO;                    // records above it are dropped
  uint64_t nLogMaxSize = 100ull * 1024 * 1024; // bytes per file (SizeRotation)
  uint64_t nAsyncQueueLimit = 2ull * 1024 * 1024;
  LineFormat eFormat = LineFormat::Standard;
  FilePolicy eFiles = FilePolicy::SizeRotation;
  LogClock pClock = nullptr;  // nullptr: the system clock
  bool bControlSocket = true; // serve the control socket while started
};

} // namespace zt::log
