#include "line_format.h"

#include "local_time.h"

#include <cstdio>
#include <sys/syscall.h>
#include <unistd.h>

namespace zt::log {

namespace {

struct Text {
  const char *pText;
  size_t nLength;
};

// Printed for a level 0..7; "UNKNOWN" outside that range.
const Text kLevelNames[] = {{"FATAL", 5}, {"ALERT", 5},  {"CRIT", 4}, {"ERROR", 5},
                            {"WARN", 4},  {"NOTICE", 6}, {"INFO", 4}, {"DEBUG", 5}};
const Text kUnknownLevel = {"UNKNOWN", 7};

struct ThreadIdText {
  char szText[24];
  size_t nLength;
};

// The calling thread's id as decimal text, built once per thread (trivial, so nothing to
// destroy at thread exit).
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

// "YYYY-MM-DD hh:mm:ss.mmm  "
void appendTimeStamp(LineBuffer &line, std::chrono::system_clock::time_point tpTime) {
  const auto nMillisSinceEpoch =
      std::chrono::duration_cast<std::chrono::milliseconds>(tpTime.time_since_epoch()).count();
  const int nMillis = static_cast<int>(nMillisSinceEpoch % 1000);
  const LocalSecond &second = localSecond(std::chrono::system_clock::to_time_t(tpTime));
  const char szMillis[] = {'.',
                           static_cast<char>('0' + nMillis / 100),
                           static_cast<char>('0' + nMillis / 10 % 10),
                           static_cast<char>('0' + nMillis % 10),
                           ' ',
                           ' '};
  line.append(second.szText, second.nTextLength);
  line.append(szMillis, sizeof szMillis);
}

// The part of a source path after its last "\\" or "/" (the caller may pass a Windows path).
void appendSourceBaseName(LineBuffer &line, const char *pstrPath) {
  if (pstrPath == nullptr) {
    return;
  }
  const char *pstrBase = pstrPath;
  const char *p = pstrPath;
  for (; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') {
      pstrBase = p + 1;
    }
  }
  line.append(pstrBase, static_cast<size_t>(p - pstrBase));
}

// [LEVEL][file:line][function][thread] with the middle fields as chosen, and a blank.
void appendBracketedFields(LineBuffer &line, const LogRecord &record, bool bFileLine, bool bFunction) {
  const Text &level =
      record.nLevel >= 0 && record.nLevel <= LOG_DEBUG ? kLevelNames[record.nLevel] : kUnknownLevel;
  line.append("[", 1);
  line.append(level.pText, level.nLength);
  if (bFileLine) {
    line.append("][", 2);
    appendSourceBaseName(line, record.pstrFile);
    line.append(":", 1);
    line.appendDecimal(record.nLine);
  }
  if (bFunction) {
    line.append("][", 2);
    line.append(record.pstrFunction != nullptr ? record.pstrFunction : "");
  }
  const ThreadIdText &threadId = currentThreadIdText();
  line.append("][", 2);
  line.append(threadId.szText, threadId.nLength);
  line.append("] ", 2);
}

} // namespace

void beginLine(LineBuffer &line, LineFormat eFormat, bool bFunctionName, const LogRecord &record,
               std::chrono::system_clock::time_point tpTime) {
  appendTimeStamp(line, tpTime);
  switch (eFormat) {
  case LineFormat::Ztip:
    line.append(":log: level: ", 13);
    line.appendDecimal(record.nLevel);
    line.append(", area: ", 8);
    line.appendDecimal(record.nArea);
    line.append(", ", 2);
    break;
  case LineFormat::Busline:
    appendBracketedFields(line, record, bFunctionName, bFunctionName);
    break;
  case LineFormat::Standard:
    appendBracketedFields(line, record, true, bFunctionName);
    break;
  }
}

void endLine(LineBuffer &line, LineFormat eFormat) {
  if (eFormat == LineFormat::Ztip) {
    line.append("\n", 1);
  } else {
    line.append("\r\n", 2);
  }
}

} // namespace zt::log
