#include "connection/ztip_context.h"

#include "connection/ztip_socket.h"

#include "zt_common.h"
#include <cstdlib>
#include <cstring>

namespace zt::ip {
namespace {

ZtipContext g_contexts[kContextCount];

std::mutex g_cursorLock;
uint16_t g_uCursor = kFirstConnectionId;
uint16_t g_uConnectionCount = kLastConnectionId - kFirstConnectionId + 1;

void resetFields(ZtipContext &context) {
  context.mSocketId = 0;
  context.mServerSocketId = 0;
  context.mListenSocket = kNoSocket;
  context.mLinkSocket = kNoSocket;
  context.mTCP = false;
  context.mbClient = false;
  context.mbActive = 0;
  context.mLastRecvMs = 0;
  context.mLastSendMs = 0;
  context.mConnectMs = 0;
  context.mLastUnitId = 0;
  std::memset(context.mszPeerIp, 0, sizeof(context.mszPeerIp));
  std::memset(context.mszPeerPort, 0, sizeof(context.mszPeerPort));
  std::memset(context.mszPort, 0, sizeof(context.mszPort));
  context.mKeys = ZtipKeys();
  std::memset(context.mExchangeMaterial, 0, sizeof(context.mExchangeMaterial));
  context.mbThirdPassSent = false;
  context.mLastNormalTicket = 0;
  context.mLastPriorityTicket = 0;
  context.mpRecvCallback = nullptr;
  context.mpUdpCallback = nullptr;
  context.mpWinCallback = nullptr;
  context.mpWinUser = nullptr;
  context.mbPeerSeen = false;
  context.mPeerProductType = 0;
  context.mPeerSubType = 0;
}

// Under the context's status lock: free means inactive and without a socket.
bool isFree(const ZtipContext &context) {
  return context.mbActive == 0 && context.mLinkSocket == kNoSocket;
}

bool tryTake(ZtipContext &context, uint16_t uSocketId, int nSocket) {
  {
    // The receive thread may hold the buffer lock of a connection in use while it waits for
    // the callback threads, and a callback may be starting a connection here.
    std::lock_guard<std::mutex> statusLock(context.mStatusLock);
    if (!isFree(context))
      return false;
  }
  std::lock_guard<std::mutex> bufferLock(context.mBufferLock);
  std::lock_guard<std::mutex> statusLock(context.mStatusLock);
  if (!isFree(context))
    return false;
  resetFields(context);
  recvBufferFree(context.mRecvBuffer);
  if (!recvBufferAlloc(context.mRecvBuffer))
    return false;
  context.mSocketId = uSocketId;
  context.mLinkSocket = nSocket;
  uint64_t uNow = zt::tickMs();
  context.mLastRecvMs = uNow;
  context.mLastSendMs = uNow;
  context.mConnectMs = uNow;
  context.mbActive = 1;
  return true;
}

ZtipContext *takeLowest(uint16_t uFirst, uint16_t uCount, int nSocket) {
  for (uint16_t uId = uFirst; uId < uFirst + uCount; ++uId)
    if (tryTake(g_contexts[uId], uId, nSocket))
      return &g_contexts[uId];
  return nullptr;
}

ZtipContext *takeConnection(int nSocket) {
  std::lock_guard<std::mutex> lock(g_cursorLock);
  uint16_t uEnd = kFirstConnectionId + g_uConnectionCount;
  if (g_uCursor < kFirstConnectionId || g_uCursor >= uEnd)
    g_uCursor = kFirstConnectionId;
  for (uint16_t i = 0; i < g_uConnectionCount; ++i) {
    uint16_t uId = g_uCursor;
    g_uCursor = uId + 1 >= uEnd ? kFirstConnectionId : uId + 1;
    if (tryTake(g_contexts[uId], uId, nSocket))
      return &g_contexts[uId];
  }
  return nullptr;
}

} // namespace

void clearContextTable() {
  for (ZtipContext &context : g_contexts) {
    std::lock_guard<std::mutex> bufferLock(context.mBufferLock);
    std::lock_guard<std::mutex> statusLock(context.mStatusLock);
    releaseContext(context);
  }
  std::lock_guard<std::mutex> lock(g_cursorLock);
  g_uCursor = kFirstConnectionId;
}

ZtipContext *contextAt(uint16_t uSocketId) {
  return uSocketId < kContextCount ? &g_contexts[uSocketId] : nullptr;
}

ZtipContext *findContext(uint16_t uSocketId) {
  ZtipContext *pContext = contextAt(uSocketId);
  return pContext != nullptr && pContext->mbActive == 1 ? pContext : nullptr;
}

ZtipContext *findConnectionByAddress(const char *pstrIp, int nPort) {
  for (uint16_t uId = kLastConnectionId; uId >= kFirstConnectionId; --uId) {
    ZtipContext &context = g_contexts[uId];
    if (context.mbActive != 1)
      continue;
    std::lock_guard<std::mutex> lock(context.mStatusLock);
    if (context.mbActive == 1 && std::strcmp(context.mszPeerIp, pstrIp) == 0 &&
        std::atoi(context.mszPort) == nPort)
      return &context;
  }
  return nullptr;
}

ZtipContext *takeContext(ZtipRange range, int nSocket) {
  switch (range) {
  case ZtipRange::Udp:
    return takeLowest(kFirstUdpId, kFirstServerId - kFirstUdpId, nSocket);
  case ZtipRange::Server:
    return takeLowest(kFirstServerId, kFirstConnectionId - kFirstServerId, nSocket);
  case ZtipRange::Connection:
    return takeConnection(nSocket);
  }
  return nullptr;
}

void releaseContext(ZtipContext &context) {
  resetFields(context);
  recvBufferFree(context.mRecvBuffer);
  std::vector<uint8_t>().swap(context.mSendFrame);
}

void closeInactiveInRange(ZtipRange range, ZtipSocketSet &set, void (*logCloseLocked)(const ZtipContext &)) {
  uint16_t uFirst = range == ZtipRange::Udp ? kFirstUdpId : kFirstServerId;
  uint16_t uEnd = range == ZtipRange::Udp ? kFirstServerId : kFirstConnectionId;
  for (uint16_t uId = uFirst; uId < uEnd; ++uId) {
    ZtipContext &context = g_contexts[uId];
    if (context.mbActive == 1)
      continue;
    std::lock_guard<std::mutex> bufferLock(context.mBufferLock);
    std::lock_guard<std::mutex> statusLock(context.mStatusLock);
    if (context.mbActive == 1 || context.mLinkSocket == kNoSocket)
      continue;
    logCloseLocked(context);
    set.remove(context.mLinkSocket);
    closeSocket(context.mLinkSocket);
    releaseContext(context);
  }
}

void setConnectionRangeSize(uint16_t uCount) {
  std::lock_guard<std::mutex> lock(g_cursorLock);
  uint16_t uMax = kLastConnectionId - kFirstConnectionId + 1;
  g_uConnectionCount = uCount == 0 || uCount > uMax ? uMax : uCount;
}

} // namespace zt::ip
