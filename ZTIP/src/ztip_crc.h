// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection, no final XOR), the frame check sum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ztip {

uint16_t crc16Xmodem(const uint8_t *pData, size_t nLen);

} // namespace ztip
