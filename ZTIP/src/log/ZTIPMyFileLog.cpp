#include "log/ZTIPMyFileLog.h"

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "line_buffer.h"
#include "logger.h"
#include "process_paths.h"

namespace zt::ip {

namespace {

std::atomic<bool> g_bLogFlag{true};
std::atomic<int> g_nMinLevel{0};
std::atomic<bool> g_bTransLog{false};
std::atomic<bool> g_bCompleteLog{false};
std::atomic<LogBroadcaster> g_pBroadcaster{nullptr};
std::atomic<LogClock> g_pClock{nullptr};

// Guarded by g_logMutex.
std::mutex g_logMutex;
std::string g_strLogDir; // empty while the log is not open
FILE *g_pTraceFile = nullptr;

// Set while a line is being broadcast, so the broadcast's own lines are not sent again.
thread_local bool t_bBroadcasting = false;

// The daily file log; never destroyed, so threads that log while the process exits find it.
zt::log::Logger &dailyLog() {
  static zt::log::Logger *pLogger = new zt::log::Logger;
  return *pLogger;
}

std::chrono::system_clock::time_point now() {
  LogClock pClock = g_pClock.load();
  return pClock != nullptr ? pClock() : std::chrono::system_clock::now();
}

zt::log::LogOption dailyLogOption(const std::string &strLogDir) {
  zt::log::LogOption option;
  option.strLogDir = strLogDir;
  option.strLogName = "ztip";
  option.eFiles = zt::log::FilePolicy::Daily;
  option.eFormat = zt::log::LineFormat::Ztip;
  option.bLogToFile = true;
  // Every line is in the file when the call returns.
  option.bLogFlushImmediately = true;
  // The switches below filter; the log itself takes every level.
  option.nLogLevel = INT_MAX;
  option.pClock = now;
  option.bControlSocket = false;
  return option;
}

// The trace file gets the first line and is then closed for good. Caller holds g_logMutex.
void traceFirstLine(const char *pstrText) {
  if (g_pTraceFile == nullptr)
    return;
  std::fprintf(g_pTraceFile, "**glogFilePath:%s\n**glogFilePath_bak:%s\n**gbFileLog:%d\n**message:%s\n",
               dailyLog().filePath().c_str(), g_strLogDir.c_str(), g_bLogFlag.load() ? 1 : 0, pstrText);
  std::fclose(g_pTraceFile);
  g_pTraceFile = nullptr;
}

void broadcast(const char *pstrText, size_t nLen) {
  LogBroadcaster pBroadcaster = g_pBroadcaster.load();
  if (pBroadcaster == nullptr || t_bBroadcasting)
    return;
  t_bBroadcasting = true;
  pBroadcaster(pstrText, nLen);
  t_bBroadcasting = false;
}

} // namespace

void ZTIPLog(int nLevel, int nArea, const char *pstrFormat, ...) {
  if (!g_bLogFlag.load() || nLevel < g_nMinLevel.load())
    return;
  zt::log::LineBuffer text;
  va_list args;
  va_start(args, pstrFormat);
  text.appendFormat(pstrFormat, args);
  va_end(args);
  if (text.size() == 0 || text.size() > kMaxLogMessage)
    return;
  {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_strLogDir.empty())
      return;
    traceFirstLine(text.data());
  }
  if (g_bTransLog.load())
    broadcast(text.data(), text.size()); // may log itself, so without the lock
  zt::log::LogRecord record;
  record.nLevel = nLevel;
  record.nArea = nArea;
  dailyLog().writeText(record, text.data(), text.size());
}

void openLibraryLog() {
  openLibraryLog(zt::platform::executableDirectory());
}

void openLibraryLog(const std::string &strBaseDir) {
  std::string strLogDir = strBaseDir + "/log";
  zt::platform::makeDirectories(strLogDir);
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_strLogDir = strLogDir;
  dailyLog().start(dailyLogOption(strLogDir));
  dailyLog().openFile(); // creates today's file
  if (g_pTraceFile != nullptr)
    std::fclose(g_pTraceFile);
  g_pTraceFile = std::fopen((strBaseDir + "/test.log").c_str(), "a");
  if (g_pTraceFile != nullptr)
    std::fprintf(g_pTraceFile, "*glogFilePath:%s\n*glogFilePath_bak:%s\n*gbFileLog:%d\n",
                 dailyLog().filePath().c_str(), g_strLogDir.c_str(), g_bLogFlag.load() ? 1 : 0);
}

void closeLibraryLog() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  if (g_pTraceFile != nullptr)
    std::fclose(g_pTraceFile);
  g_pTraceFile = nullptr;
  g_strLogDir.clear();
  dailyLog().stop();
}

std::string libraryLogPath() {
  return dailyLog().filePath();
}

void setLogFlag(int nOn) {
  g_bLogFlag = nOn != 0;
  dailyLog().reopenFile();
}
void setLogLevel(int nMinimum) {
  g_nMinLevel = nMinimum;
  dailyLog().reopenFile();
}
void setTransLog(uint8_t uOn) {
  g_bTransLog = uOn != 0;
  dailyLog().reopenFile();
}
void setCompleteLog(int nOn) {
  g_bCompleteLog = nOn != 0;
  dailyLog().reopenFile();
}
bool transLogOn() {
  return g_bTransLog.load();
}
bool completeLogOn() {
  return g_bCompleteLog.load();
}

void setLogBroadcaster(LogBroadcaster pBroadcaster) {
  g_pBroadcaster = pBroadcaster;
}
void setLogClock(LogClock pClock) {
  g_pClock = pClock;
}

} // namespace zt::ip
