#include "uuid.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sys/random.h>

namespace zt::proxy {
namespace {

void fillRandom(uint8_t *pBytes, size_t nCount) {
  size_t nFilled = 0;
  while (nFilled < nCount) {
    ssize_t nGot = getrandom(pBytes + nFilled, nCount - nFilled, 0);
    if (nGot > 0) {
      nFilled += static_cast<size_t>(nGot);
    } else if (errno != EINTR) {
      // No getrandom: the library's random device still reads the kernel's source.
      std::random_device device;
      for (; nFilled < nCount; ++nFilled)
        pBytes[nFilled] = static_cast<uint8_t>(device());
    }
  }
}

} // namespace

std::string makeUuidString() {
  uint8_t arrBytes[17];
  fillRandom(arrBytes, sizeof(arrBytes));
  static const char kVariant[] = "89ab";
  std::string strUuid;
  char szPart[3];
  for (int i = 0; i < 16; ++i) {
    uint8_t uValue = arrBytes[i];
    if (i == 6) {
      std::snprintf(szPart, sizeof(szPart), "4%x", uValue % 15);
    } else if (i == 8) {
      std::snprintf(szPart, sizeof(szPart), "%c%x", kVariant[arrBytes[16] & 3], uValue % 15);
    } else {
      std::snprintf(szPart, sizeof(szPart), "%02x", uValue);
    }
    strUuid += szPart;
    if (i == 3 || i == 5 || i == 7 || i == 9)
      strUuid += '-';
  }
  return strUuid;
}

} // namespace zt::proxy
