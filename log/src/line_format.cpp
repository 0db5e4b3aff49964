#include "line_format.h"

#include "local_time.h"

#include <cstdio>
#include <sys/syscall.h>
#include <unistd.h>

namespace zt::log {

namespace {

const char *const kLevelNames[] = {"FATAL", "ALERT", "CRIT", "ERROR", "WARN", "NOTICE", "INFO", "DEBUG"};

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

void appendTimeStamp(LineBuffer &line, std::chrono::system_clock::time_point tpTime) {
  const auto nMillisSinceEpoch =
      std::chrono::duration_cast<std::chrono::milliseconds>(tpTime.time_since_epoch()).count();
  const LocalSecond &second = localSecond(std::chrono::system_clock::to_time_t(tpTime));
  line.append(second.szText, second.nTextLength);
  line.append(".", 1);
  line.appendDecimal(static_cast<int>(nMillisSinceEpoch % 1000), 3);
  line.append("  ", 2);
}

// [LEVEL][file:line][function][thread] with the middle fields as chosen.
void appendBracketedFields(LineBuffer &line, const LogRecord &record, bool bFileLine, bool bFunction) {
  line.append("[", 1);
  line.append(levelName(record.nLevel));
  line.append("]", 1);
  if (bFileLine) {
    line.append("[", 1);
    line.append(sourceBaseName(record.pstrFile));
    line.append(":", 1);
    line.appendDecimal(record.nLine);
    line.append("]", 1);
  }
  if (bFunction) {
    line.append("[", 1);
    line.append(record.pstrFunction != nullptr ? record.pstrFunction : "");
    line.append("]", 1);
  }
  const ThreadIdText &threadId = currentThreadIdText();
  line.append("[", 1);
  line.append(threadId.szText, threadId.nLength);
  line.append("] ", 2);
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
