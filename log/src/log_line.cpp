#include "log_line.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
#include <unistd.h>

namespace zt {

namespace {

const char *const kLevelNames[] = {"FATAL", "ALERT", "CRIT", "ERROR", "WARN", "NOTICE", "INFO", "DEBUG"};

// "YYYY-MM-DD HH:MM:SS.mmm" in local time. The date and time part is rebuilt only when the
// second changes, which keeps localtime_r off the path of most lines.
struct TimeStamp {
  char szText[64];
  int nMillis;
};

void currentTime(TimeStamp &stamp) {
  thread_local time_t tCachedSecond = -1;
  thread_local char szCachedText[64];
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  if (now.tv_sec != tCachedSecond) {
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    snprintf(szCachedText, sizeof szCachedText, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    tCachedSecond = now.tv_sec;
  }
  memcpy(stamp.szText, szCachedText, sizeof stamp.szText);
  stamp.nMillis = static_cast<int>(now.tv_nsec / 1000000);
}

unsigned long currentThreadId() {
  thread_local unsigned long uThreadId = static_cast<unsigned long>(syscall(SYS_gettid));
  return uThreadId;
}

struct PrefixFields {
  TimeStamp stamp;
  const char *pstrLevel;
  const char *pstrFile;
  const char *pstrFunction;
  int nLine;
  unsigned long uThreadId;
};

// Writes the prefix (with its trailing blank) like snprintf: returns the length it needs.
int writePrefix(char *pBuffer, size_t nCapacity, LinePrefix ePrefix, const PrefixFields &f) {
  switch (ePrefix) {
  case LinePrefix::FileLineFunction:
    return snprintf(pBuffer, nCapacity, "%s.%03d  [%s][%s:%d][%s][%lu] ", f.stamp.szText, f.stamp.nMillis,
                    f.pstrLevel, f.pstrFile, f.nLine, f.pstrFunction, f.uThreadId);
  case LinePrefix::ThreadOnly:
    return snprintf(pBuffer, nCapacity, "%s.%03d  [%s][%lu] ", f.stamp.szText, f.stamp.nMillis, f.pstrLevel,
                    f.uThreadId);
  case LinePrefix::FileLine:
    break;
  }
  return snprintf(pBuffer, nCapacity, "%s.%03d  [%s][%s:%d][%lu] ", f.stamp.szText, f.stamp.nMillis,
                  f.pstrLevel, f.pstrFile, f.nLine, f.uThreadId);
}

} // namespace

const char *levelName(int nLevel) {
  return (nLevel >= 0 && nLevel <= 7) ? kLevelNames[nLevel] : "UNKNOWN";
}

const char *sourceBaseName(const char *pstrPath) {
  if (pstrPath == nullptr) {
    return "";
  }
  const char *pstrBase = pstrPath;
  for (const char *p = pstrPath; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') {
      pstrBase = p + 1;
    }
  }
  return pstrBase;
}

void LogLine::format(LinePrefix ePrefix, const char *pstrFile, const char *pstrFunction, int nLine,
                     int nLevel, const char *pstrFormat, va_list args) {
  PrefixFields fields;
  currentTime(fields.stamp);
  fields.pstrLevel = levelName(nLevel);
  fields.pstrFile = sourceBaseName(pstrFile);
  fields.pstrFunction = pstrFunction ? pstrFunction : "";
  fields.nLine = nLine;
  fields.uThreadId = currentThreadId();
  if (pstrFormat == nullptr) {
    pstrFormat = "";
  }

  va_list argsAgain;
  va_copy(argsAgain, args);
  const size_t nCapacity = sizeof m_szFixed;
  size_t nPrefix = static_cast<size_t>(writePrefix(m_szFixed, nCapacity, ePrefix, fields));
  int nFormatted = nPrefix < nCapacity ? vsnprintf(m_szFixed + nPrefix, nCapacity - nPrefix, pstrFormat, args)
                                       : vsnprintf(nullptr, 0, pstrFormat, args);
  // An encoding error leaves the message empty rather than losing the whole record.
  size_t nMessage = nFormatted > 0 ? static_cast<size_t>(nFormatted) : 0;
  size_t nTotal = nPrefix + nMessage + 2;

  char *pLine = m_szFixed;
  if (nTotal > kFixedChars) {
    m_strLong.resize(nTotal + 1);
    pLine = &m_strLong[0];
    writePrefix(pLine, nPrefix + 1, ePrefix, fields);
    if (nMessage > 0) {
      vsnprintf(pLine + nPrefix, nMessage + 1, pstrFormat, argsAgain);
    }
  }
  va_end(argsAgain);
  pLine[nPrefix + nMessage] = '\r';
  pLine[nPrefix + nMessage + 1] = '\n';
  m_pData = pLine;
  m_nSize = nTotal;
}

} // namespace zt
