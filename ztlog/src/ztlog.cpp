#include "ztlog.h"

#include "c_boundary.h"
#include "channel_table.h"
#include "logger.h"
#include "process_paths.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint64_t kMaxFileBytes = 20ull * 1024 * 1024;
constexpr uint64_t kQueueLimitBytes = 2ull * 1024 * 1024;

// The logger level nearest to a ztlog level; everything past 700 is debug detail.
int loggerLevel(int nLevel) {
  if (nLevel > ZTLOG_LEVEL_PROGRESS) {
    return zt::log::LOG_DEBUG;
  }
  static const struct {
    int nZtlogLevel;
    int nLoggerLevel;
  } kAnchors[] = {{0, zt::log::LOG_FATAL},
                  {100, zt::log::LOG_ALERT},
                  {200, zt::log::LOG_CRIT},
                  {ZTLOG_LEVEL_ERROR, zt::log::LOG_ERROR},
                  {400, zt::log::LOG_WARN},
                  {ZTLOG_LEVEL_NOTICE, zt::log::LOG_NOTICE},
                  {ZTLOG_LEVEL_PROGRESS, zt::log::LOG_INFO}};
  int nBest = zt::log::LOG_FATAL;
  long nBestDistance = -1;
  for (const auto &anchor : kAnchors) {
    long nDistance = std::labs(static_cast<long>(nLevel) - anchor.nZtlogLevel);
    if (nBestDistance < 0 || nDistance < nBestDistance) {
      nBestDistance = nDistance;
      nBest = anchor.nLoggerLevel;
    }
  }
  return nBest;
}

zt::log::LogOption channelOption(const std::string &strModule) {
  zt::log::LogOption option;
  option.strLogDir = zt::platform::executableDirectory() + "/log";
  option.strLogName = strModule;
  option.bLogToFile = true;
  option.bLogAsync = true;
  // The writer flushes once per batch, so a crash loses at most the last 100 ms.
  option.bLogFlushImmediately = true;
  option.nLogLevel = zt::log::LOG_DEBUG;
  option.nLogMaxSize = kMaxFileBytes;
  option.nAsyncQueueLimit = kQueueLimitBytes;
  // The file already names the module, so lines carry just the level and thread.
  option.eFormat = zt::log::LineFormat::Busline;
  option.bControlSocket = false;
  return option;
}

// The C boundary: an exception ends the call with its failure result and one line on standard
// error, since the channel that failed cannot be trusted to carry the report.
void reportException(const char *pstrFunction, const char *pstrWhat) {
  std::fprintf(stderr, "ztlog: %s,exception,%s\n", pstrFunction, pstrWhat);
}

// Runs when the library is unloaded or the process exits normally.
__attribute__((destructor)) void writeOutChannelsAtUnload() {
  zt::ztlog::ChannelTable::instance().stopAll();
}

} // namespace

extern "C" int ztLogInit(const char *pstrModuleName) {
  return zt::guardedCall("ztLogInit", -1, reportException, [&] {
    // The module names a file inside the log directory and nothing else.
    if (pstrModuleName == nullptr || *pstrModuleName == '\0' || strchr(pstrModuleName, '/') != nullptr) {
      return -1;
    }
    return zt::ztlog::ChannelTable::instance().open(pstrModuleName, channelOption(pstrModuleName));
  });
}

extern "C" void ztLogPrintf(int nChannel, int nLevel, const char *pstrFormat, ...) {
  va_list args;
  va_start(args, pstrFormat);
  zt::guardedCall("ztLogPrintf", reportException, [&] {
    zt::log::Logger *pLogger = zt::ztlog::ChannelTable::instance().find(nChannel);
    if (pLogger != nullptr && pstrFormat != nullptr) {
      pLogger->vwrite("", "", 0, loggerLevel(nLevel), pstrFormat, args);
    }
  });
  va_end(args);
}
