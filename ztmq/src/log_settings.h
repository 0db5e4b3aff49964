// The log settings ztmq reads from "ztmq.cfg" beside the executable: lines of key = value with
// the keys path (log directory), level (debug, info, warn, error, fatal) and maxSize (MB).
#pragma once

#include <cstdint>
#include <string>

namespace zt::mq {

struct LogSettings {
  std::string strDir;          // log directory
  int nLevel = 7;              // 0 fatal ... 7 debug
  uint32_t uMaxSizeMiB = 10;   // per log file, at most kMaxLogSizeMiB
};

constexpr uint32_t kMaxLogSizeMiB = 1024;

// Applies one line of the file named strFileName (named in the message about an unknown key).
void parseConfigLine(const std::string &strLine, const std::string &strFileName, LogSettings &settings);

// The defaults for a program in strDir (the directory itself as log directory), changed by the
// lines of strDir/ztmq.cfg when it can be read.
LogSettings readLogSettings(const std::string &strDir);

} // namespace zt::mq
