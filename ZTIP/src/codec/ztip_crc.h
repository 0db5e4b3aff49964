// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection, no final XOR), the frame check sum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zt::ip {

// Uses the fastest way the CPU offers; all ways give the same result.
uint16_t crc16Xmodem(const uint8_t *pData, size_t nLen);

// The ways behind crc16Xmodem, slowest first: slicing tables, carry-less multiply on 128-bit
// registers, and on 256-bit registers. For tests; crc16XmodemBy may only be given a way
// that crc16XmodemCanUse accepts.
enum class CrcWay { Tables, Clmul, WideClmul };
bool crc16XmodemCanUse(CrcWay eWay);
uint16_t crc16XmodemBy(CrcWay eWay, const uint8_t *pData, size_t nLen);

} // namespace zt::ip
