// The 32-byte frame head: field layout, network-order encoding and decoding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ZTIP.h"

namespace zt::ip {

constexpr size_t kHeadSize = 32;
constexpr uint32_t kStartMarker = 0xAA777AA7;

// Commands the library itself uses.
constexpr uint16_t kCmdKeyExchange = 0x0606;        // first and second pass
constexpr uint16_t kCmdKeyExchangeConfirm = 0x0607; // third pass and confirmation
constexpr uint16_t kCmdHeartbeat = 0x0706;
constexpr uint16_t kStatusRequest = 0x0000;
constexpr uint16_t kStatusOk = 0x4F4B; // "OK"

// pad_flag: bit 7 marks an encrypted payload, bits 0-6 count the padding bytes at its end.
constexpr uint8_t kPadFlagEncrypted = 0x80;
constexpr uint8_t kPadCountMask = 0x7F;

// Product type whose frames are always checked as encrypted in release mode.
constexpr uint8_t kProductTypeAlwaysEncrypted = 3;

// Head fields in host order; the reserved bytes are always zero on the wire.
struct ZtipHead {
  uint32_t uStartMarker = kStartMarker;
  uint8_t uProductType = 0;
  uint8_t uSubType = 0;
  uint8_t uPadFlag = 0;
  uint16_t uCryptMode = 0;
  uint16_t uStatus = 0;
  uint32_t uSessionId = 0;
  uint32_t uUnitId = 0;
  uint8_t uProtocolType = 0;
  uint8_t uFuncCode = 0;
  uint16_t uCmd = 0;
  uint32_t uObjLen = 0;
  uint16_t uCheckSum = 0;
};

// Writes the 32 wire bytes of the head to pOut.
void encodeHead(const ZtipHead &head, uint8_t *pOut);

// Reads 32 wire bytes.
ZtipHead decodeHead(const uint8_t *pIn);

// True when the four bytes at p are the start marker AA 77 7A A7.
bool hasStartMarker(const uint8_t *p);

// The application's view of a head; producttype is the sender's.
ZTIP_Head_Para headToPara(const ZtipHead &head);

inline bool isKeyExchangeCmd(uint16_t uCmd) {
  return uCmd == kCmdKeyExchange || uCmd == kCmdKeyExchangeConfirm;
}

} // namespace zt::ip
