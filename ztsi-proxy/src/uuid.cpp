#include "uuid.h"

#include "random_bytes.h"

#include <cstdint>
#include <cstdio>
#include <random>

namespace zt::proxy {
std::string makeUuidString() {
  uint8_t arrBytes[17];
  if (!zt::platform::fillRandom(arrBytes, sizeof(arrBytes))) {
    // The library's random device reads the kernel's source another way.
    std::random_device device;
    for (uint8_t &uByte : arrBytes)
      uByte = static_cast<uint8_t>(device());
  }
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
