// Checking one received UDP datagram as one frame (never decrypted).
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/ztip_head.h"

namespace zt::ip {

constexpr size_t kUdpRecvMax = 0x18000;

enum class UdpReadResult {
  Ok,            // one whole frame; the payload follows the 32-byte head
  HeadError,     // shorter than a head or no start marker (head not filled)
  LengthError,   // obj_len differs from the payload size
  CheckSumError, // CRC mismatch
};

// Checks the datagram as one frame and fills head unless the head itself is bad (the first
// valid head carries the peer's product type and subtype). Failures are logged with the
// sender's address and port texts.
UdpReadResult readDatagram(const uint8_t *pDatagram, size_t nLen, const char *pstrSrcIp,
                           const char *pstrSrcPort, ZtipHead &head);

} // namespace zt::ip
