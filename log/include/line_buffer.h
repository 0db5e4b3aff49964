// Text put together in a fixed buffer, moved to the heap only when it outgrows it; always
// zero-terminated.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <string>

namespace zt::log {

class LineBuffer {
public:
  // Texts up to this many characters are built without allocating.
  static constexpr size_t kFixedChars = 1024;

  LineBuffer() { m_szFixed[0] = '\0'; }
  LineBuffer(const LineBuffer &) = delete;
  LineBuffer &operator=(const LineBuffer &) = delete;

  void append(const char *pText, size_t nLength) {
    if (m_nSize + nLength > m_nCapacity) {
      grow(nLength);
    }
    memcpy(m_pData + m_nSize, pText, nLength);
    m_nSize += nLength;
    m_pData[m_nSize] = '\0';
  }
  void append(const char *pstrText) { append(pstrText, strlen(pstrText)); }
  // nValue in decimal digits.
  void appendDecimal(int nValue);
  // printf-style; false, with nothing appended, on an encoding error.
  bool appendFormat(const char *pstrFormat, va_list args) __attribute__((format(printf, 2, 0)));

  const char *data() const { return m_pData; }
  size_t size() const { return m_nSize; }

private:
  // Makes room for nMore characters behind the current ones.
  void grow(size_t nMore);

  char m_szFixed[kFixedChars + 1];
  std::string m_strLong; // holds the text once it outgrows m_szFixed
  char *m_pData = m_szFixed;
  size_t m_nSize = 0;
  size_t m_nCapacity = kFixedChars; // characters, not counting the terminating zero
};

} // namespace zt::log
