// Formatting of one log line: time stamp, level, caller and message, ended by "\r\n".
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace zt::log {

// Which bracketed fields follow the time stamp and level.
enum class LinePrefix {
  FileLine,         // [file:line][thread]
  FileLineFunction, // [file:line][function][thread]
  ThreadOnly,       // [thread]
};

// Name printed for a level 0..7 ("FATAL" .. "DEBUG"); "UNKNOWN" outside that range.
const char *levelName(int nLevel);

// The part of a source path after its last "\\" or "/".
const char *sourceBaseName(const char *pstrPath);

class LogLine {
public:
  // Lines up to this many characters are built without allocating.
  static constexpr size_t kFixedChars = 1024;

  LogLine() = default;
  LogLine(const LogLine &) = delete;
  LogLine &operator=(const LogLine &) = delete;

  void format(LinePrefix ePrefix, const char *pstrFile, const char *pstrFunction, int nLine, int nLevel,
              const char *pstrFormat, va_list args);
  // The same line around a message that is already text (no format pass over it).
  void formatText(LinePrefix ePrefix, const char *pstrFile, const char *pstrFunction, int nLine, int nLevel,
                  const char *pText, size_t nLength);

  const char *data() const { return m_pData; }
  size_t size() const { return m_nSize; }

private:
  // Ends the line of nContent characters at pLine with "\r\n" and makes it the result.
  void finish(char *pLine, size_t nContent);

  char m_szFixed[kFixedChars + 1];
  std::string m_strLong;
  const char *m_pData = m_szFixed;
  size_t m_nSize = 0;
};

} // namespace zt::log
