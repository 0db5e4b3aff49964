#include "line_buffer.h"

#include <cstdio>

namespace zt::log {

void LineBuffer::grow(size_t nMore) {
  size_t nCapacity = m_nCapacity * 2;
  if (nCapacity < m_nSize + nMore) {
    nCapacity = m_nSize + nMore;
  }
  if (m_pData == m_szFixed) {
    m_strLong.assign(m_szFixed, m_nSize);
  }
  m_strLong.resize(nCapacity);
  m_pData = &m_strLong[0]; // std::string keeps a zero behind its last character
  m_nCapacity = nCapacity;
}

void LineBuffer::appendDecimal(int nValue) {
  char szDigits[16];
  char *pEnd = szDigits + sizeof szDigits;
  char *p = pEnd;
  unsigned int uValue =
      nValue < 0 ? 0u - static_cast<unsigned int>(nValue) : static_cast<unsigned int>(nValue);
  do {
    *--p = static_cast<char>('0' + uValue % 10);
    uValue /= 10;
  } while (uValue != 0);
  if (nValue < 0) {
    *--p = '-';
  }
  append(p, static_cast<size_t>(pEnd - p));
}

bool LineBuffer::appendFormat(const char *pstrFormat, va_list args) {
  va_list argsAgain;
  va_copy(argsAgain, args);
  const size_t nRoom = m_nCapacity - m_nSize;
  int nFormatted = vsnprintf(m_pData + m_nSize, nRoom + 1, pstrFormat, args);
  if (nFormatted < 0) {
    m_pData[m_nSize] = '\0';
    va_end(argsAgain);
    return false;
  }
  const size_t nLength = static_cast<size_t>(nFormatted);
  if (nLength > nRoom) {
    grow(nLength);
    vsnprintf(m_pData + m_nSize, nLength + 1, pstrFormat, argsAgain);
  }
  va_end(argsAgain);
  m_nSize += nLength;
  return true;
}

} // namespace zt::log
