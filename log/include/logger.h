// The file logger of the programs and libraries: level filter, line formats, size-rotated or
// daily files, synchronous or queued writing, and a local control socket to retune it at run
// time.
//
// Threads: every function may be called from any thread. start() and stop() are serialised
// with each other; records written while they run are either written or dropped whole. A
// record is formatted on the calling thread; in asynchronous mode a writer thread puts it in
// the file within about 100 ms, and stop() writes out what is queued.
#pragma once

#include "log_option.h"
#include "log_record.h"

#include <cstdarg>
#include <cstddef>
#include <string>

namespace zt::log {

class Logger {
public:
  Logger();
  ~Logger(); // stops the logger
  Logger(const Logger &) = delete;
  Logger &operator=(const Logger &) = delete;

  // The process-wide logger, created on first use.
  static Logger &instance();

  void start(const LogOption &option);
  void stop();

  // One record; file is the caller's source file name (the part after the last "\\" or "/" is printed).
  void write(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel, const char *pstrFormat,
             ...) __attribute__((format(printf, 6, 7)));
  void vwrite(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel, const char *pstrFormat,
              va_list args);
  // One record whose message is already text: it is copied as it stands, '%' included.
  void writeText(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel, const char *pText,
                 size_t nLength);
  void writeText(const LogRecord &record, const char *pText, size_t nLength);

  // Retunes the outputs and level (what a control request does).
  void applyControl(bool bLogToStdout, bool bLogToFile, bool bLogFlushImmediately, int nLogLevel);

  // Whether a record of this level would be written now.
  bool enabled(int nLevel) const;

  // Opens the file at once rather than with the first line.
  void openFile();
  // Closes the file; the next line opens it anew, so a file removed meanwhile comes back.
  void reopenFile();
  // The file lines go to now; empty while the log is stopped.
  std::string filePath() const;

  // Abstract socket name (Linux, no file) of the control socket for a log name.
  static std::string controlSocketName(const std::string &strLogName);

  // Implementation details live in the source files (pimpl keeps this header small).
  struct Impl;

private:
  Impl *m_pImpl;
};

} // namespace zt::log

#define ZT_LOG_AT(level, ...)                                                                                \
  ::zt::log::Logger::instance().write(__FILE__, __func__, __LINE__, (level), __VA_ARGS__)
#define logFatal(...) ZT_LOG_AT(::zt::log::LOG_FATAL, __VA_ARGS__)
#define logError(...) ZT_LOG_AT(::zt::log::LOG_ERROR, __VA_ARGS__)
#define logWarn(...) ZT_LOG_AT(::zt::log::LOG_WARN, __VA_ARGS__)
#define logInfo(...) ZT_LOG_AT(::zt::log::LOG_INFO, __VA_ARGS__)
#define logDebug(...) ZT_LOG_AT(::zt::log::LOG_DEBUG, __VA_ARGS__)
