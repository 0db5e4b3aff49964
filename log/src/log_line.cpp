#include "log_line.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
#include <unistd.h>

namespace zt::log {

namespace {

const char *const kLevelNames[] = {"FATAL", "ALERT", "CRIT", "ERROR", "WARN", "NOTICE", "INFO", "DEBUG"};

// "YYYY-MM-DD HH:MM:SS" of the current second, kept per thread and rebuilt only when the second
// changes, which keeps localtime_r off the path of most lines; and the milliseconds.
struct TimeStamp {
  const char *pstrSecond;
  size_t nSecondLength;
  int nMillis;
};

TimeStamp currentTime() {
  thread_local time_t tCachedSecond = -1;
  thread_local char szCachedText[64];
  thread_local size_t nCachedLength = 0;
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  if (now.tv_sec != tCachedSecond) {
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    int nLength =
        snprintf(szCachedText, sizeof szCachedText, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                 local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    nCachedLength = nLength > 0 ? static_cast<size_t>(nLength) : 0;
    tCachedSecond = now.tv_sec;
  }
  return TimeStamp{szCachedText, nCachedLength, static_cast<int>(now.tv_nsec / 1000000)};
}

struct ThreadIdText {
  char szText[24];
  size_t nLength;
};

// The calling thread's id as decimal text, built once per thread (nothing to destroy at thread
// exit, so lines written by other thread-exit code still find it).
const ThreadIdText &currentThreadIdText() {
  thread_local ThreadIdText text = [] {
    ThreadIdText built;
    int nLength =
        snprintf(built.szText, sizeof built.szText, "%lu", static_cast<unsigned long>(syscall(SYS_gettid)));
    built.nLength = nLength > 0 ? static_cast<size_t>(nLength) : 0;
    return built;
  }();
  return text;
}

struct PrefixFields {
  TimeStamp stamp;
  const char *pstrLevel;
  const char *pstrFile;
  const char *pstrFunction;
  int nLine;
  const ThreadIdText *pThreadId;
};

// Appends into a buffer like snprintf: copies what fits and counts the length it needs.
class Appender {
public:
  Appender(char *pBuffer, size_t nCapacity) : m_pBuffer(pBuffer), m_nCapacity(nCapacity) {}

  void text(const char *pText, size_t nLength) {
    if (m_nLength < m_nCapacity) {
      memcpy(m_pBuffer + m_nLength, pText,
             nLength < m_nCapacity - m_nLength ? nLength : m_nCapacity - m_nLength);
    }
    m_nLength += nLength;
  }
  void text(const char *pstrText) { text(pstrText, strlen(pstrText)); }

  // Decimal digits of nValue, at least nMinDigits of them (zero-padded).
  void decimal(int nValue, int nMinDigits = 1) {
    char szDigits[16];
    char *pEnd = szDigits + sizeof szDigits;
    char *p = pEnd;
    unsigned int uValue =
        nValue < 0 ? 0u - static_cast<unsigned int>(nValue) : static_cast<unsigned int>(nValue);
    do {
      *--p = static_cast<char>('0' + uValue % 10);
      uValue /= 10;
    } while (uValue != 0);
    while (pEnd - p < nMinDigits) {
      *--p = '0';
    }
    if (nValue < 0) {
      *--p = '-';
    }
    text(p, static_cast<size_t>(pEnd - p));
  }

  size_t length() const { return m_nLength; }

private:
  char *m_pBuffer;
  size_t m_nCapacity;
  size_t m_nLength = 0;
};

// Writes the prefix (with its trailing blank) into the buffer as far as it fits; returns the
// length it needs.
size_t writePrefix(char *pBuffer, size_t nCapacity, LinePrefix ePrefix, const PrefixFields &f) {
  Appender out(pBuffer, nCapacity);
  out.text(f.stamp.pstrSecond, f.stamp.nSecondLength);
  out.text(".", 1);
  out.decimal(f.stamp.nMillis, 3);
  out.text("  [", 3);
  out.text(f.pstrLevel);
  out.text("]", 1);
  if (ePrefix != LinePrefix::ThreadOnly) {
    out.text("[", 1);
    out.text(f.pstrFile);
    out.text(":", 1);
    out.decimal(f.nLine);
    out.text("]", 1);
  }
  if (ePrefix == LinePrefix::FileLineFunction) {
    out.text("[", 1);
    out.text(f.pstrFunction);
    out.text("]", 1);
  }
  out.text("[", 1);
  out.text(f.pThreadId->szText, f.pThreadId->nLength);
  out.text("] ", 2);
  return out.length();
}

// Moves a line too long for the fixed buffer into the long one, prefix written; returns it.
char *longLine(std::string &strLong, LinePrefix ePrefix, const PrefixFields &fields, size_t nPrefix,
               size_t nMessage) {
  strLong.resize(nPrefix + nMessage + 3);
  char *pLine = &strLong[0];
  writePrefix(pLine, nPrefix, ePrefix, fields);
  return pLine;
}

PrefixFields prefixFields(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel) {
  return PrefixFields{
      currentTime(), levelName(nLevel),     sourceBaseName(pstrFile), pstrFunction ? pstrFunction : "",
      nLine,         &currentThreadIdText()};
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
  PrefixFields fields = prefixFields(pstrFile, pstrFunction, nLine, nLevel);
  if (pstrFormat == nullptr) {
    pstrFormat = "";
  }

  va_list argsAgain;
  va_copy(argsAgain, args);
  const size_t nCapacity = sizeof m_szFixed;
  size_t nPrefix = writePrefix(m_szFixed, nCapacity, ePrefix, fields);
  int nFormatted = nPrefix < nCapacity ? vsnprintf(m_szFixed + nPrefix, nCapacity - nPrefix, pstrFormat, args)
                                       : vsnprintf(nullptr, 0, pstrFormat, args);
  // An encoding error leaves the message empty rather than losing the whole record.
  size_t nMessage = nFormatted > 0 ? static_cast<size_t>(nFormatted) : 0;

  char *pLine = m_szFixed;
  if (nPrefix + nMessage + 2 > kFixedChars) {
    pLine = longLine(m_strLong, ePrefix, fields, nPrefix, nMessage);
    if (nMessage > 0) {
      vsnprintf(pLine + nPrefix, nMessage + 1, pstrFormat, argsAgain);
    }
  }
  va_end(argsAgain);
  finish(pLine, nPrefix + nMessage);
}

void LogLine::formatText(LinePrefix ePrefix, const char *pstrFile, const char *pstrFunction, int nLine,
                         int nLevel, const char *pText, size_t nLength) {
  PrefixFields fields = prefixFields(pstrFile, pstrFunction, nLine, nLevel);
  size_t nPrefix = writePrefix(m_szFixed, sizeof m_szFixed, ePrefix, fields);
  char *pLine = m_szFixed;
  if (nPrefix + nLength + 2 > kFixedChars) {
    pLine = longLine(m_strLong, ePrefix, fields, nPrefix, nLength);
  }
  memcpy(pLine + nPrefix, pText, nLength);
  finish(pLine, nPrefix + nLength);
}

void LogLine::finish(char *pLine, size_t nContent) {
  pLine[nContent] = '\r';
  pLine[nContent + 1] = '\n';
  m_pData = pLine;
  m_nSize = nContent + 2;
}

} // namespace zt::log
