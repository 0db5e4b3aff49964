// The TCP receive thread: waits on every connection's socket, reads what arrived and hands
// the frames found to the key exchange, the callback queues or (large frames) straight to
// the receive callback.
#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "connection/ztip_connection_close.h"
#include "api/ztip_guard.h"
#include "codec/ztip_key_exchange.h"
#include "api/ztip_library.h"
#include "connection/ztip_priority_commands.h"
#include "connection/ztip_socket.h"
#include "connection/ztip_threads.h"
#include "log/ztip_transfer_log.h"

#include <sys/socket.h>

namespace zt::ip {
namespace {

constexpr int kEmptyRoundsLogged = 61;
constexpr uint64_t kSlowRecvMs = 101;
constexpr uint64_t kStopCheckMs = 10;

// A frame delivered in this thread must not overtake the frames of its connection still
// waiting in the queue it would have gone to. False when the library stops first.
bool waitQueuedBefore(ZtipCallbackQueue &queue, uint64_t uTicket) {
  while (!queue.waitDelivered(uTicket, kStopCheckMs))
    if (!library().bRun)
      return false;
  return true;
}

// Routes what the stream reader finds on one connection. Runs under its buffer lock.
class ConnectionSink : public StreamFrameSink {
public:
  explicit ConnectionSink(ZtipContext &context) : m_context(context) {}

  void onHead(const ZtipHead &head) override {
    if (!m_context.mbPeerSeen) {
      m_context.mPeerProductType = head.uProductType;
      m_context.mPeerSubType = head.uSubType;
      m_context.mbPeerSeen = true;
    }
  }

  void onKeyExchangeFrame(const ZtipHead &head, const uint8_t *pPayload) override {
    keyContactProcedure(m_context, head, pPayload);
  }

  void onFrame(const ZtipHead &head, const uint8_t *pData, uint32_t uDataLen) override {
    ZTIP_RecvCallback pCallback = m_context.mpRecvCallback;
    ZTIP_Head_Para para = headToPara(head);
    bool bPriority = isPriorityCommand(para.cmd);
    ZtipCallbackQueue &queue = bPriority ? *library().pPriorityQueue : *library().pNormalQueue;
    uint64_t &uLastTicket = bPriority ? m_context.mLastPriorityTicket : m_context.mLastNormalTicket;
    if (head.uObjLen < kDirectDeliveryLen) {
      uint64_t uStart = zt::tickMs();
      uLastTicket = queue.push(m_context.mSocketId, m_context.mServerSocketId, para, pData, uDataLen,
                               m_context.mszPeerIp, m_context.mszPort, pCallback);
      uint64_t uSpent = zt::tickMs() - uStart;
      if (uSpent >= kSlowRecvMs)
        ZTIPLog(kLogEvent, kAreaConnection, "tcp recv thread:in queue waster time:[%lld ms], obj_id[%04x]",
                static_cast<long long>(uSpent), para.cmd);
    } else if (pCallback != nullptr && waitQueuedBefore(queue, uLastTicket)) {
      ztipGuarded("receive callback", [&] {
        pCallback(m_context.mSocketId, m_context.mServerSocketId, para, uDataLen, pData, m_context.mszPeerIp,
                  m_context.mszPort);
      });
    }
    logTransferRecord(false, true, para, uDataLen, m_context.mLinkSocket, m_context.mszPeerIp,
                      m_context.mszPort);
  }

private:
  ZtipContext &m_context;
};

// Marks the connection inactive and stops waiting on its socket; the refresh thread closes
// it. Waiting on would only report the dead socket again in every round. The caller holds
// the buffer lock.
void setInactive(ZtipContext &context) {
  context.mbActive = 0;
  library().connectionSockets.remove(context.mLinkSocket);
}

// Reads once from the connection and parses what came. Returns true when the peer closed
// the connection in order, which closes it at once rather than after the receive time-out.
bool receiveOn(ZtipContext &context, int nSocket) {
  std::lock_guard<std::mutex> bufferLock(context.mBufferLock);
  if (context.mLinkSocket != nSocket)
    return false; // closed and perhaps reused since the wait
  if (context.mbActive != 1) {
    setInactive(context);
    return false;
  }
  ZtipRecvBuffer &buffer = context.mRecvBuffer;
  ssize_t nReceived =
      recvRoom(buffer) > 0 ? ::recv(nSocket, recvSpace(buffer), recvRoom(buffer), MSG_DONTWAIT) : -1;
  if (nReceived <= 0) {
    int nError = nReceived == 0 ? 0 : lastSocketError();
    if (nReceived == 0 || isConnectionLostError(nError)) {
      ZTIPLog(kLogError, kAreaConnection,
              "catch single, but recv size:%d socket:%d, error code:%d, recv passive  set unactive",
              static_cast<int>(nReceived), nSocket, nError);
      setInactive(context);
    }
    return nReceived == 0;
  }
  context.mLastRecvMs = zt::tickMs();
  StreamReadOptions options;
  options.bDebugMode = library().bDebugMode;
  options.bCompleteLog = completeLogOn();
  ConnectionSink sink(context);
  readStream(buffer, static_cast<size_t>(nReceived), options, context.mKeys, sink);
  return false;
}

void markFailed(ZtipContext &context, int nSocket) {
  std::lock_guard<std::mutex> bufferLock(context.mBufferLock);
  if (context.mLinkSocket != nSocket)
    return;
  ZTIPLog(kLogError, kAreaConnection, "catch exception single, socket:%d, set unactive", nSocket);
  setInactive(context);
}

void logSlowRecv(ZtipContext &context, int nSocket, uint64_t uSpent) {
  std::lock_guard<std::mutex> bufferLock(context.mBufferLock);
  if (context.mLinkSocket == nSocket)
    ZTIPLog(kLogEvent, kAreaConnection, "tcp recv thread:single recv waster time:[%lld ms], ip[%s], port[%s]",
            static_cast<long long>(uSpent), context.mszPeerIp, context.mszPort);
}

} // namespace

void tcpRecvThread() {
  ZtipLibrary &lib = library();
  std::vector<ZtipSocketSet::Member> vecReadable, vecFailed;
  int nEmptyRounds = 0;
  while (lib.bRun) {
    if (!lib.connectionSockets.wait(timings().nWaitTimeoutMs, vecReadable, vecFailed)) {
      if (++nEmptyRounds >= kEmptyRoundsLogged) {
        nEmptyRounds = 0;
        ZTIPLog(kLogPeriodic, kAreaThread, "dataAvailable no data");
      }
      continue;
    }
    for (const ZtipSocketSet::Member &member : vecReadable) {
      ZtipContext &context = *contextAt(member.uSocketId);
      uint64_t uStart = zt::tickMs();
      if (receiveOn(context, member.nSocket))
        closeConnectionIf(context, [&member](ZtipContext &c) { return c.mLinkSocket == member.nSocket; });
      uint64_t uSpent = zt::tickMs() - uStart;
      if (uSpent >= kSlowRecvMs)
        logSlowRecv(context, member.nSocket, uSpent);
    }
    for (const ZtipSocketSet::Member &member : vecFailed)
      markFailed(*contextAt(member.uSocketId), member.nSocket);
  }
}

} // namespace zt::ip
