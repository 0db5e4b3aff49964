#include "ztmq_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "log_settings.h"
#include "logger.h"
#include "process_paths.h"
#include "trace_file.h"

namespace zt::mq {

namespace {

using zt::log::Logger;
using zt::log::LogOption;

std::atomic<LogFunction> g_pLogFunction{nullptr};
// Set while this thread is in the application's log function, whose own calls into ztmq would
// otherwise log back into it.
thread_local bool t_bInLogFunction = false;

void setUp() {
  std::string strExeDir = zt::platform::executableDirectory();
  if (strExeDir.empty()) {
    strExeDir = ".";
  }
  LogSettings settings = readLogSettings(strExeDir);
  std::printf("logInit strLogPath:%s,strLogCfg:%s,nLogLevel:%d,unLogMaxSize:%d.\n", settings.strDir.c_str(),
              (strExeDir + "/ztmq.cfg").c_str(), settings.nLevel, int(settings.uMaxSizeMiB));
  zt::platform::makeDirectories(settings.strDir);
  LogOption option;
  option.strLogDir = settings.strDir;
  option.strLogName = zt::platform::programBaseName() + "_ztmq";
  option.nLogLevel = settings.nLevel;
  option.nLogMaxSize = uint64_t(settings.uMaxSizeMiB) << 20;
  option.bLogToFile = true;
  option.bLogAsync = true;
  option.bControlSocket = true;
  Logger::instance().start(option);
  // The trace is made now, so that it outlives everything that logs later.
  TraceFile::instance();
}

} // namespace

void startLog() {
  static std::once_flag once;
  bool bFirst = false;
  std::call_once(once, [&] {
    setUp();
    bFirst = true;
  });
  if (bFirst) {
    ZTMQ_LOG_INFO("==========ztmq start begin=================");
  }
}

void writeLog(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel, const char *pstrFormat, ...) {
  startLog();
  if (!Logger::instance().enabled(nLevel)) {
    return;
  }
  char szFixed[1024];
  std::vector<char> vecLong;
  char *pText = szFixed;
  va_list args;
  va_start(args, pstrFormat);
  int nLength = std::vsnprintf(szFixed, sizeof szFixed, pstrFormat, args);
  va_end(args);
  if (nLength < 0) {
    return;
  }
  if (size_t(nLength) >= sizeof szFixed) {
    vecLong.resize(size_t(nLength) + 1);
    va_start(args, pstrFormat);
    std::vsnprintf(vecLong.data(), vecLong.size(), pstrFormat, args);
    va_end(args);
    pText = vecLong.data();
  }
  // Several texts end in a line feed of their own; the log and the trace end every line anyway.
  while (nLength > 0 && (pText[nLength - 1] == '\n' || pText[nLength - 1] == '\r')) {
    pText[--nLength] = '\0';
  }
  Logger::instance().writeText(pstrFile, pstrFunction, nLine, nLevel, pText, size_t(nLength));
  TraceFile::instance().write(pText, size_t(nLength));
  LogFunction pFunction = g_pLogFunction.load();
  if (pFunction != nullptr && !t_bInLogFunction) {
    t_bInLogFunction = true;
    try {
      pFunction(nLevel, pText);
    } catch (...) {
      // A failing log function must not fail what was being logged.
    }
    t_bInLogFunction = false;
  }
}

void setLogFunction(LogFunction pFunction) {
  g_pLogFunction.store(pFunction);
}

} // namespace zt::mq
