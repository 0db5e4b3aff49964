#include "log/ZTIPMyFileLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>

#include "process_paths.h"

namespace zt::ip {

namespace {

// Room for "YYYY-MM-DD hh:mm:ss.mmm  :log: level: L, area: A, " with any two ints.
constexpr size_t kMaxLinePrefix = 96;

std::atomic<bool> g_bLogFlag{true};
std::atomic<int> g_nMinLevel{0};
std::atomic<bool> g_bTransLog{false};
std::atomic<bool> g_bCompleteLog{false};
std::atomic<LogBroadcaster> g_pBroadcaster{nullptr};
std::atomic<LogClock> g_pClock{nullptr};

// Guarded by g_logMutex.
std::mutex g_logMutex;
std::string g_strLogDir; // empty while the log is not open
int g_nDay = -1;         // the local day (year and day of the year) the file name was built for
std::string g_strLogPath;
FILE *g_pTraceFile = nullptr;

// The daily file stays open between lines: opening and closing it for every line cost more
// than the rest of the logging together. It is reopened when the date (and so the path)
// changes and after any switch was set, which also lets an operator who removed the file
// get a new one. Each line is one unbuffered write in append mode, which the kernel adds to
// the file whole, so the lock only guards which file is open and writers do not queue
// behind each other's writes; a file replaced meanwhile is closed by its last writer.
class LogFile {
public:
  LogFile(int nFd, std::string strPath) : m_nFd(nFd), m_strPath(std::move(strPath)) {}
  ~LogFile() { ::close(m_nFd); }
  LogFile(const LogFile &) = delete;
  LogFile &operator=(const LogFile &) = delete;

  int fd() const { return m_nFd; }
  const std::string &path() const { return m_strPath; }

private:
  int m_nFd;
  std::string m_strPath;
};
std::shared_ptr<LogFile> g_pLogFile; // null while no file is open

// Set by the switch setters; the next line reopens the file.
std::atomic<bool> g_bReopen{false};

// Set while a line is being broadcast, so the broadcast's own lines are not sent again.
thread_local bool t_bBroadcasting = false;

std::chrono::system_clock::time_point now() {
  LogClock pClock = g_pClock.load();
  return pClock != nullptr ? pClock() : std::chrono::system_clock::now();
}

// Local time of the second; each thread keeps the last one it converted, since a busy link
// logs many lines per second.
std::tm localTime(std::chrono::system_clock::time_point tp) {
  thread_local std::time_t t_tLastSeconds = -1;
  thread_local std::tm t_tmLast{};
  std::time_t tSeconds = std::chrono::system_clock::to_time_t(tp);
  if (tSeconds != t_tLastSeconds) {
    localtime_r(&tSeconds, &t_tmLast);
    t_tLastSeconds = tSeconds;
  }
  return t_tmLast;
}

std::string datePart(const std::tm &tmLocal) {
  char szDate[32];
  std::strftime(szDate, sizeof(szDate), "%Y-%m-%d-", &tmLocal);
  return szDate;
}

// Rebuilds the file name when the local date has changed. Caller holds g_logMutex.
void followDate(const std::tm &tmLocal) {
  int nDay = tmLocal.tm_year * 1000 + tmLocal.tm_yday;
  if (nDay != g_nDay) {
    g_nDay = nDay;
    g_strLogPath = g_strLogDir + "/" + datePart(tmLocal) + "ztip.log";
  }
}

// The trace file gets the first line and is then closed for good. Caller holds g_logMutex.
void traceFirstLine(const char *pstrText) {
  if (g_pTraceFile == nullptr)
    return;
  std::fprintf(g_pTraceFile, "**glogFilePath:%s\n**glogFilePath_bak:%s\n**gbFileLog:%d\n**message:%s\n",
               g_strLogPath.c_str(), g_strLogDir.c_str(), g_bLogFlag.load() ? 1 : 0, pstrText);
  std::fclose(g_pTraceFile);
  g_pTraceFile = nullptr;
}

// Today's file, opened when needed; null when it cannot be opened. Caller holds g_logMutex.
std::shared_ptr<LogFile> logFile() {
  if (g_bReopen.exchange(false) || (g_pLogFile != nullptr && g_pLogFile->path() != g_strLogPath))
    g_pLogFile.reset();
  if (g_pLogFile == nullptr) {
    int nFd = ::open(g_strLogPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (nFd >= 0)
      g_pLogFile = std::make_shared<LogFile>(nFd, g_strLogPath);
  }
  return g_pLogFile;
}

void writeAll(int nFd, const char *pData, size_t nLen) {
  while (nLen > 0) {
    ssize_t nRet = ::write(nFd, pData, nLen);
    if (nRet <= 0)
      return;
    pData += nRet;
    nLen -= static_cast<size_t>(nRet);
  }
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
  // The line is put together in one buffer: time and level first, the text behind them.
  std::chrono::system_clock::time_point tpNow = now();
  std::tm tmLocal = localTime(tpNow);
  int nMillis = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(tpNow.time_since_epoch()).count() % 1000);
  char szLine[kMaxLinePrefix + kMaxLogMessage + 2];
  int nPrefix =
      std::snprintf(szLine, kMaxLinePrefix, "%04d-%02d-%02d %02d:%02d:%02d.%03d  :log: level: %d, area: %d, ",
                    tmLocal.tm_year + 1900, tmLocal.tm_mon + 1, tmLocal.tm_mday, tmLocal.tm_hour,
                    tmLocal.tm_min, tmLocal.tm_sec, nMillis, nLevel, nArea);
  if (nPrefix <= 0 || static_cast<size_t>(nPrefix) >= kMaxLinePrefix)
    return;
  char *pstrText = szLine + nPrefix;
  va_list args;
  va_start(args, pstrFormat);
  int nLen = std::vsnprintf(pstrText, kMaxLogMessage + 2, pstrFormat, args);
  va_end(args);
  if (nLen <= 0 || static_cast<size_t>(nLen) > kMaxLogMessage)
    return;

  std::shared_ptr<LogFile> pFile;
  {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_strLogDir.empty())
      return;
    followDate(tmLocal);
    traceFirstLine(pstrText);
    pFile = logFile();
  }
  if (g_bTransLog.load())
    broadcast(pstrText, static_cast<size_t>(nLen)); // may log itself, so without the lock
  if (pFile == nullptr)
    return;
  pstrText[nLen] = '\n';
  writeAll(pFile->fd(), szLine, static_cast<size_t>(nPrefix + nLen + 1));
}

void openLibraryLog() {
  openLibraryLog(zt::platform::executableDirectory());
}

void openLibraryLog(const std::string &strBaseDir) {
  std::string strLogDir = strBaseDir + "/log";
  zt::platform::makeDirectories(strLogDir);
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_strLogDir = strLogDir;
  g_nDay = -1;
  followDate(localTime(now()));
  g_pLogFile.reset();
  logFile(); // creates today's file
  if (g_pTraceFile != nullptr)
    std::fclose(g_pTraceFile);
  g_pTraceFile = std::fopen((strBaseDir + "/test.log").c_str(), "a");
  if (g_pTraceFile != nullptr)
    std::fprintf(g_pTraceFile, "*glogFilePath:%s\n*glogFilePath_bak:%s\n*gbFileLog:%d\n",
                 g_strLogPath.c_str(), g_strLogDir.c_str(), g_bLogFlag.load() ? 1 : 0);
}

void closeLibraryLog() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  if (g_pTraceFile != nullptr)
    std::fclose(g_pTraceFile);
  g_pTraceFile = nullptr;
  g_pLogFile.reset();
  g_strLogDir.clear();
  g_nDay = -1;
  g_strLogPath.clear();
}

std::string libraryLogPath() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  return g_strLogPath;
}

void setLogFlag(int nOn) {
  g_bLogFlag = nOn != 0;
  g_bReopen = true;
}
void setLogLevel(int nMinimum) {
  g_nMinLevel = nMinimum;
  g_bReopen = true;
}
void setTransLog(uint8_t uOn) {
  g_bTransLog = uOn != 0;
  g_bReopen = true;
}
void setCompleteLog(int nOn) {
  g_bCompleteLog = nOn != 0;
  g_bReopen = true;
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
