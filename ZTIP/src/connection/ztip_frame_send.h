// Putting frames on a connection's socket: application frames, heartbeats and UDP frames
// to a given address. Every function expects the caller to hold the context's status lock.
#pragma once

#include "ZTIP.h"
#include "connection/ztip_context.h"

#include <cstddef>
#include <cstdint>

namespace zt::ip {

// Builds the frame for the context (TCP: encrypted by crypt_mode in release mode; UDP: to
// 255.255.255.255 on the context's port) and sends all of it. Stores the unit_id for the
// heartbeat. Returns 1 or the code of the build or 0xF3 when the socket did not take it all.
uint8_t sendFrameLocked(ZtipContext &context, const ZTIP_Head_Para &para, const uint8_t *pData, int nLen);

// Sends a heartbeat if nothing was sent for uIdleMs; false when the send failed.
bool sendHeartbeatIfIdleLocked(ZtipContext &context, uint64_t uNowMs, uint64_t uIdleMs);

// A plain frame (crypt_mode 0x8000, pad_flag 0) from a UDP context to pstrIp:nPort.
// Returns 1, 0xF3 for a frame over 8,192 bytes or a failed sendto.
uint8_t sendUdpFrameToLocked(ZtipContext &context, ZTIP_Head_Para &para, const uint8_t *pData, int nLen,
                             const char *pstrIp, int nPort);

} // namespace zt::ip
