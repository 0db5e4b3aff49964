// The files a log writes: a file policy owns the open file and decides when the next one starts.
// Every function may be called from several threads at once.
#pragma once

#include "log_option.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zt::log {

// Complete lines stored back to back, with the length of each.
struct LineRun {
  const char *pData;
  size_t nBytes;
  const uint32_t *pLengths;
  size_t nLines;
};

class LogFile {
public:
  using TimePoint = std::chrono::system_clock::time_point;

  virtual ~LogFile() = default;

  // Takes the option's directory, name, header and size limit; lines are taken until stop().
  virtual void start(const LogOption &option) = 0;
  // Writes out and closes the file; lines are dropped until the next start().
  virtual void stop() = 0;

  // Appends the lines, written at tpNow; bFlush puts them in the file before returning. The
  // file is opened on demand; when that fails the lines of this call are lost and the next call
  // tries again.
  virtual void write(const LineRun &lines, TimePoint tpNow, bool bFlush) = 0;
  // Opens the file for tpNow at once rather than with the next line.
  virtual void open(TimePoint tpNow) = 0;
  virtual void flush() = 0;
  // Closes the file; the next line opens it again.
  virtual void close() = 0;
  // The file lines go to now (empty while it is not known or the policy is stopped).
  virtual std::string path() const = 0;
};

} // namespace zt::log
