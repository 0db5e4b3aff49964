// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection, no final XOR), the frame check sum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ztip {

// Uses the carry-less multiply when the CPU has it, else the tables; both give the same result.
uint16_t crc16Xmodem(const uint8_t *pData, size_t nLen);

// The two ways behind crc16Xmodem, for tests. crc16XmodemClmul falls back to the tables on
// short inputs; call it only when crc16XmodemHasClmul().
uint16_t crc16XmodemTables(const uint8_t *pData, size_t nLen);
uint16_t crc16XmodemClmul(const uint8_t *pData, size_t nLen);
bool crc16XmodemHasClmul();

} // namespace ztip
