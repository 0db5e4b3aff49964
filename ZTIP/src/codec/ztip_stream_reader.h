// Finding, checking and decrypting frames in the bytes a TCP connection receives. The
// caller owns the socket: it recv()s into recvSpace() and hands the count to readStream,
// under the connection's buffer lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ZTIP.h"
#include "codec/ztip_head.h"
#include "codec/ztip_payload_cipher.h"

namespace zt::ip {

constexpr size_t kRecvBufferInitialSize = 0x18000;
constexpr size_t kRecvBufferGrowth = 5;

// The largest payload a sender produces: the send limit plus DES padding. A head that
// announces more is corrupt and would only make the receiver allocate without end.
constexpr size_t kMaxFramePayload = 2457600 + 7;

// A connection's receive buffer. Plain data so that it can live in a zeroed context.
struct ZtipRecvBuffer {
  uint8_t *pBuf = nullptr;
  size_t nSize = 0;
  size_t nFill = 0;   // bytes kept from earlier recv calls, at the start of pBuf
  size_t nOffset = 0; // parse offset within the current data
};

// Allocates 0x18000 zeroed bytes; false when the allocation fails.
bool recvBufferAlloc(ZtipRecvBuffer &buffer);
void recvBufferFree(ZtipRecvBuffer &buffer);

// Where the next recv writes and how much room is there.
inline uint8_t *recvSpace(ZtipRecvBuffer &buffer) {
  return buffer.pBuf + buffer.nFill;
}
inline size_t recvRoom(const ZtipRecvBuffer &buffer) {
  return buffer.nSize - buffer.nFill;
}

// Receives what readStream finds. Pointers are valid only during the call.
class StreamFrameSink {
public:
  virtual ~StreamFrameSink() = default;
  // Every decoded head (the first one carries the peer's product type and subtype).
  virtual void onHead(const ZtipHead &head) = 0;
  // A key-exchange frame (cmd 0x0606/0x0607), unchecked, for the key-contact queue.
  virtual void onKeyExchangeFrame(const ZtipHead &head, const uint8_t *pPayload) = 0;
  // A checked and decrypted application frame; nDataLen excludes the padding.
  virtual void onFrame(const ZtipHead &head, const uint8_t *pData, uint32_t nDataLen) = 0;
};

struct StreamReadOptions {
  bool bDebugMode = false;   // no decryption; every frame is checked over its bytes as received
  bool bCompleteLog = false; // key-exchange frames go to onFrame like any other frame
};

// Parses the kept bytes plus nReceived new ones: skips garbage byte by byte, consumes
// heartbeats as 32 bytes, grows the buffer five-fold for a large frame, waits for the rest
// of an incomplete frame, checks the CRC (and decrypts in release mode with keys), drops a
// bad frame, and keeps the unparsed tail at the start of the buffer for the next recv.
void readStream(ZtipRecvBuffer &buffer, size_t nReceived, const StreamReadOptions &options,
                const ZtipKeys &keys, StreamFrameSink &sink);

// Bytes skipped while looking for start markers, over all connections since load.
uint64_t skippedByteCount();

} // namespace zt::ip
