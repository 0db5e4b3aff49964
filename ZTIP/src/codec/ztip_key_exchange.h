// The three-pass random-key exchange of a TCP connection. The side that accepted the
// connection starts it; the frames are 0x0606/0x0000 (B masked with A), 0x0606/0x4F4B (also
// masked with Q), 0x0607/0x0000 (B masked with Q) and 0x0607/0x4F4B ("OK"); both sides end
// with B as session material and its first 16 bytes as DES key.
#pragma once

#include "connection/ztip_context.h"
#include "codec/ztip_head.h"

#include <cstddef>
#include <cstdint>

namespace zt::ip {

// First pass, by the accepting side (also every restart). The caller holds the status lock.
// Returns 1, or 0xCC when the frame could not be sent (the caller drops the connection).
uint8_t startKeyContactLocked(ZtipContext &context);

// Handles one received key-exchange frame. It runs in the TCP receive thread, in stream
// order: a frame that the peer encrypts right after its keys are agreed is then never
// decrypted before the exchange frame in front of it was handled. Takes the status lock
// itself; the key-result callback and the connection notify run after it is released.
void keyContactProcedure(ZtipContext &context, const ZtipHead &head, const uint8_t *pPayload);

} // namespace zt::ip
