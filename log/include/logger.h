// The file logger compiled into the programs and libraries that log through it:
// level filter, two line formats (plus busline's short one), ".log"/".bak" rotation,
// synchronous or queued writing, and a local control socket to retune it at run time.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

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

// How a line looks after the time stamp and level.
enum class LineFormat {
  Standard, // [LEVEL][file:line][thread] msg
  Busline,  // [LEVEL][thread] msg
  // With bLogFuctionName both print [LEVEL][file:line][function][thread] msg.
};

struct LogOption {
  std::string strLogDir;  // directory of the log file
  std::string strLogName; // file base name: <dir>/<name>.log and <dir>/<name>.bak
  std::string strHeader;  // written at the top of every fresh or rotated file
  bool bLogToStdout = false;
  bool bLogToFile = false;
  bool bLogFlushImmediately = false;
  bool bLogAsync = false;
  bool bLogFuctionName = false;
  int nLogLevel = LOG_INFO;                    // 0..7
  uint64_t nLogMaxSize = 100ull * 1024 * 1024; // bytes per file
  uint64_t nAsyncQueueLimit = 2ull * 1024 * 1024;
  LineFormat eFormat = LineFormat::Standard;
  bool bControlSocket = true; // serve the control socket while started
};

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

  // Retunes the outputs and level (what a control request does).
  void applyControl(bool bLogToStdout, bool bLogToFile, bool bLogFlushImmediately, int nLogLevel);

  // Whether a record of this level would be written now.
  bool enabled(int nLevel) const;

  // Path of the control socket for a log name.
  static std::string controlSocketPath(const std::string &strLogName);

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
