#include "ztip_crc.h"

namespace ztip {

namespace {
// Entry i is i * 0x1021 (carry-less), for the four bits shifted out at a time.
constexpr uint16_t kNibbleTable[16] = {0x0000, 0x1021, 0x2042, 0x3063, 0x4084, 0x50A5, 0x60C6, 0x70E7,
                                       0x8108, 0x9129, 0xA14A, 0xB16B, 0xC18C, 0xD1AD, 0xE1CE, 0xF1EF};
} // namespace

uint16_t crc16Xmodem(const uint8_t *pData, size_t nLen) {
  uint16_t uCrc = 0;
  for (size_t i = 0; i < nLen; ++i) {
    uCrc = static_cast<uint16_t>((uCrc << 4) ^ kNibbleTable[(uCrc >> 12) ^ (pData[i] >> 4)]);
    uCrc = static_cast<uint16_t>((uCrc << 4) ^ kNibbleTable[(uCrc >> 12) ^ (pData[i] & 0x0F)]);
  }
  return uCrc;
}

} // namespace ztip
