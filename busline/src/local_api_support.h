// Small helpers shared by the comm and stub APIs: their argument checks and the payload as
// it appears in their log lines.
#pragma once

#include <cstring>

namespace zt::bus {

// A non-null text of 1 to nMaxLen characters.
inline bool textLengthWithin(const char *pstr, size_t nMaxLen) {
  if (pstr == nullptr) {
    return false;
  }
  size_t nLen = strnlen(pstr, nMaxLen + 1);
  return nLen >= 1 && nLen <= nMaxLen;
}

// nSize bytes at pData: no negative size, and a null pointer only with size 0.
inline bool validPayload(const void *pData, int nSize) {
  return nSize >= 0 && (pData != nullptr || nSize == 0);
}

// A received payload for "%.*s": its bytes up to its size, never read past it.
struct PayloadText {
  PayloadText(const void *pData, int nSize)
      : nLen(pData != nullptr && nSize > 0 ? nSize : 0),
        pstr(pData != nullptr ? static_cast<const char *>(pData) : "") {}
  int nLen;
  const char *pstr;
};

} // namespace zt::bus
