#include "ztip_crc.h"

#include <array>

namespace ztip {

namespace {

using Table = std::array<uint16_t, 256>;

// Entry i is i * 0x1021 (carry-less): the remainder of four bits shifted out at a time.
constexpr uint16_t kNibbleTable[16] = {0x0000, 0x1021, 0x2042, 0x3063, 0x4084, 0x50A5, 0x60C6, 0x70E7,
                                       0x8108, 0x9129, 0xA14A, 0xB16B, 0xC18C, 0xD1AD, 0xE1CE, 0xF1EF};

constexpr uint16_t nibbleStep(uint16_t uCrc, uint8_t uNibble) {
  return static_cast<uint16_t>((uCrc << 4) ^ kNibbleTable[(uCrc >> 12) ^ uNibble]);
}

// Eight tables for eight bytes per step, all derived from the nibble table: table 0 is one
// byte (two nibble steps), table k is table k-1 followed by one more zero byte. The result is
// the same as stepping nibble by nibble, several times faster.
constexpr std::array<Table, 8> makeSlicingTables() {
  std::array<Table, 8> tables{};
  for (int b = 0; b < 256; ++b)
    tables[0][b] = nibbleStep(nibbleStep(0, static_cast<uint8_t>(b >> 4)), static_cast<uint8_t>(b & 0x0F));
  for (int k = 1; k < 8; ++k)
    for (int b = 0; b < 256; ++b)
      tables[k][b] = static_cast<uint16_t>((tables[k - 1][b] << 8) ^ tables[0][tables[k - 1][b] >> 8]);
  return tables;
}

constexpr std::array<Table, 8> kTables = makeSlicingTables();

} // namespace

uint16_t crc16Xmodem(const uint8_t *pData, size_t nLen) {
  uint16_t uCrc = 0;
  size_t i = 0;
  for (; i + 8 <= nLen; i += 8) {
    const uint8_t *p = pData + i;
    uCrc = static_cast<uint16_t>(kTables[7][p[0] ^ (uCrc >> 8)] ^ kTables[6][p[1] ^ (uCrc & 0xFF)] ^
                                 kTables[5][p[2]] ^ kTables[4][p[3]] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^
                                 kTables[1][p[6]] ^ kTables[0][p[7]]);
  }
  for (; i < nLen; ++i)
    uCrc = static_cast<uint16_t>((uCrc << 8) ^ kTables[0][(uCrc >> 8) ^ pData[i]]);
  return uCrc;
}

} // namespace ztip
