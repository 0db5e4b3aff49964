// The connection context table: one context per 16-bit socket id, in three ranges
// (UDP sockets 0-14, TCP servers 15-29, TCP connections 30-1529). Contexts are never
// freed, only cleared, so a pointer to one stays valid for the life of the process.
#pragma once

#include "ZTIP.h"
#include "codec/ztip_payload_cipher.h"
#include "connection/ztip_socket_set.h"
#include "codec/ztip_stream_reader.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace zt::ip {

constexpr uint16_t kFirstUdpId = 0;
constexpr uint16_t kFirstServerId = 15;
constexpr uint16_t kFirstConnectionId = 30;
constexpr uint16_t kLastConnectionId = 1529;
constexpr uint16_t kContextCount = kLastConnectionId + 1;

enum class ZtipRange { Udp, Server, Connection };

struct ZtipContext {
  // Guards the key states and key material and serialises the sends: a send holds it for
  // the whole frame so that frames on one connection never interleave.
  std::mutex mStatusLock;
  // Guards the receive buffer. Taken before the status lock when both are needed. Whoever
  // takes, closes or clears the context holds both, so the receive threads read the
  // socket, ids and address texts under this lock alone and never wait for a sender.
  std::mutex mBufferLock;

  uint16_t mSocketId = 0;
  uint16_t mServerSocketId = 0;
  int mListenSocket = -1;
  int mLinkSocket = -1;
  bool mTCP = false;
  bool mbClient = false;
  std::atomic<int> mbActive{0};

  std::atomic<uint64_t> mLastRecvMs{0};
  std::atomic<uint64_t> mLastSendMs{0};
  uint64_t mConnectMs = 0;
  uint32_t mLastUnitId = 0;

  char mszPeerIp[22] = {0};
  char mszPeerPort[10] = {0}; // the "second" port text: peer port of an accepted connection
  char mszPort[10] = {0};

  ZtipKeys mKeys;
  uint8_t mExchangeMaterial[kMaterialSize] = {0}; // the initiator's second material, the value agreed on
  bool mbThirdPassSent = false; // the initiator's 0x0607/0x0000 went out; only now may "OK" come

  // Atomic so that the receive threads read them without the status lock, which a sender
  // may hold for as long as the peer takes to drain a large frame.
  std::atomic<ZTIP_RecvCallback> mpRecvCallback{nullptr};
  std::atomic<ZTIP_UdpRecordCallback> mpUdpCallback{nullptr};
  std::atomic<ZTIP_WinRecvCallback> mpWinCallback{nullptr};
  std::atomic<void *> mpWinUser{nullptr};

  ZtipRecvBuffer mRecvBuffer;
  // Tickets of the last frames this connection put in the normal and the priority callback
  // queue (buffer lock).
  uint64_t mLastNormalTicket = 0;
  uint64_t mLastPriorityTicket = 0;
  // The frame being sent, kept between sends so that its storage is reused (status lock).
  std::vector<uint8_t> mSendFrame;

  std::atomic<bool> mbPeerSeen{false};
  std::atomic<uint8_t> mPeerProductType{0};
  std::atomic<uint8_t> mPeerSubType{0};
};

// Milliseconds from uThenMs to uNowMs; 0 when uThenMs is later, as happens when another
// thread stamps a context after uNowMs was read.
inline uint64_t msSince(uint64_t uNowMs, uint64_t uThenMs) {
  return uNowMs > uThenMs ? uNowMs - uThenMs : 0;
}

// Clears every context (all fields, buffers released, sockets forgotten without closing).
void clearContextTable();

// The context of the id when its active flag is 1, else null. Ids above 1529 give null.
ZtipContext *findContext(uint16_t uSocketId);

// The context of the id whatever its state; null above 1529.
ZtipContext *contextAt(uint16_t uSocketId);

// The active TCP connection with this peer address and port, searched from the highest id.
ZtipContext *findConnectionByAddress(const char *pstrIp, int nPort);

// Takes a free context of the range for nSocket: active, times now, buffer allocated,
// everything else cleared. Null when the range is full (or the buffer cannot be allocated).
ZtipContext *takeContext(ZtipRange range, int nSocket);

// Releases a context after its socket was closed: clears its fields and frees its buffer.
// The caller holds both locks of the context.
void releaseContext(ZtipContext &context);

// Closes the sockets of the inactive contexts of the UDP or the server range: each leaves
// its socket list, logCloseLocked writes its line and the context is released.
void closeInactiveInRange(ZtipRange range, ZtipSocketSet &set, void (*logCloseLocked)(const ZtipContext &));

// Ids in the TCP-connection range that can be given, 1500 unless shortened for a test.
void setConnectionRangeSize(uint16_t uCount);

} // namespace zt::ip
