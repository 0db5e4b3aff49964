// The files a log writes: a file policy owns the open file and decides when the next one starts.
#pragma once

#include "append_file.h"
#include "log_option.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
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

  // Appends the lines, written at tpNow. The file is opened on demand; when that fails the
  // lines of this call are lost and the next call tries again.
  virtual void write(const LineRun &lines, TimePoint tpNow, bool bFlush) = 0;
  // Opens the file for tpNow at once rather than with the next line.
  virtual void open(TimePoint tpNow) = 0;
  // The file lines go to now (empty while it is not known yet).
  virtual std::string path() const = 0;

  void flush() { m_file.flush(); }
  // Closes the file; the next line opens it again.
  void close() { m_file.close(); }

protected:
  AppendFile m_file;
};

// The policy the option names, over its directory, name, header and size limit.
std::unique_ptr<LogFile> makeLogFile(const LogOption &option);

} // namespace zt::log
