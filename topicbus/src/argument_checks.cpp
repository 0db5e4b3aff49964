#include "argument_checks.h"

#include <cstring>

namespace zt::tb {

bool isDottedIpv4(const char *pstrIP) {
  if (pstrIP == nullptr || pstrIP[0] == '.') {
    return false;
  }
  int nDots = 0;
  int nNumber = 0;
  for (const char *p = pstrIP; *p != '\0'; ++p) {
    if (*p == '.') {
      if (++nDots > 3) {
        return false;
      }
      nNumber = 0;
    } else if (*p >= '0' && *p <= '9') {
      nNumber = nNumber * 10 + (*p - '0');
      if (nNumber > 255) {
        return false;
      }
    } else {
      return false;
    }
  }
  return nDots == 3;
}

bool isValidPort(int nPort) {
  return nPort >= 1 && nPort <= 65535;
}

bool fitsTextLimit(const char *pstrText) {
  return pstrText == nullptr || strnlen(pstrText, kMaxTextLength + 1) <= kMaxTextLength;
}

bool isValidTopic(const char *pstrTopic) {
  return pstrTopic != nullptr && pstrTopic[0] != '\0' && fitsTextLimit(pstrTopic);
}

} // namespace zt::tb
