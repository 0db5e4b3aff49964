#include "connection/ztip_frame_send.h"

#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "codec/ztip_frame_builder.h"
#include "api/ztip_library.h"
#include "codec/ztip_result.h"
#include "connection/ztip_socket.h"

#include <cerrno>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <vector>

namespace zt::ip {
namespace {

// Waits until the socket takes more data. A peer that stops reading would otherwise keep
// the sender (and everyone waiting for the connection's status lock) spinning for ever, so
// the wait ends with ETIMEDOUT after the receive time-out.
bool waitWritable(int nSocket, int &nError) {
  pollfd pfd{nSocket, POLLOUT, 0};
  int nTimeoutMs = static_cast<int>(library().uRecvTimeoutMs.load());
  if (poll(&pfd, 1, nTimeoutMs) > 0)
    return true;
  nError = ETIMEDOUT;
  return false;
}

// Sends every byte on a TCP socket; a would-block result is retried once the socket takes
// data again. Returns the number of bytes sent; nError holds the errno of a failure.
size_t sendAll(int nSocket, const uint8_t *pData, size_t nLen, int &nError) {
  size_t nSent = 0;
  nError = 0;
  while (nSent < nLen) {
    ssize_t nRet = ::send(nSocket, pData + nSent, nLen - nSent, MSG_NOSIGNAL);
    if (nRet > 0) {
      nSent += static_cast<size_t>(nRet);
      continue;
    }
    nError = lastSocketError();
    ZTIPLog(kLogError, kAreaOperation, "WSAGetLastError send error code:%d", nError);
    if (nError == EINTR)
      continue;
    if ((nError == EAGAIN || nError == EWOULDBLOCK) && waitWritable(nSocket, nError))
      continue;
    break;
  }
  return nSent;
}

// Marks the context inactive after a send error that is not transient.
void noteSendError(ZtipContext &context, int nError) {
  if (nError != 0 && !isTransientError(nError))
    context.mbActive = 0;
}

bool sendTcpBytes(ZtipContext &context, const uint8_t *pData, size_t nLen) {
  int nError = 0;
  bool bComplete = sendAll(context.mLinkSocket, pData, nLen, nError) == nLen;
  noteSendError(context, nError);
  return bComplete;
}

bool sendUdpBytes(ZtipContext &context, const uint8_t *pData, size_t nLen, const sockaddr_in &addr) {
  size_t nSent = 0;
  while (nSent < nLen) {
    ssize_t nRet = ::sendto(context.mLinkSocket, pData + nSent, nLen - nSent, 0,
                            reinterpret_cast<const sockaddr *>(&addr), sizeof(addr));
    if (nRet <= 0)
      break;
    nSent += static_cast<size_t>(nRet);
  }
  return nSent == nLen;
}

} // namespace

uint8_t sendFrameLocked(ZtipContext &context, const ZTIP_Head_Para &para, const uint8_t *pData, int nLen) {
  std::vector<uint8_t> &vecFrame = context.mSendFrame;
  context.mLastUnitId = para.unit_id;
  uint8_t uRet = buildFrame(library().sender(context.mTCP), context.mKeys, para, pData, nLen, vecFrame);
  if (uRet != kResultOk)
    return uRet;
  bool bComplete;
  if (context.mTCP) {
    bComplete = sendTcpBytes(context, vecFrame.data(), vecFrame.size());
  } else {
    sockaddr_in addr;
    makeAddress("255.255.255.255", std::atoi(context.mszPeerPort), addr);
    bComplete = sendUdpBytes(context, vecFrame.data(), vecFrame.size(), addr);
  }
  if (!bComplete)
    return kResultIncompleteSend;
  context.mLastSendMs = zt::tickMs();
  return kResultOk;
}

bool sendHeartbeatIfIdleLocked(ZtipContext &context, uint64_t uNowMs, uint64_t uIdleMs) {
  if (msSince(uNowMs, context.mLastSendMs) < uIdleMs)
    return true;
  uint8_t frame[kHeadSize];
  buildHeartbeatFrame(library().sender(true), context.mLastUnitId, frame);
  int nError = 0;
  if (sendAll(context.mLinkSocket, frame, sizeof(frame), nError) == sizeof(frame)) {
    context.mLastSendMs = zt::tickMs();
    return true;
  }
  ZTIPLog(kLogError, kAreaConnection, "heart send fail,error code:%d,SocketId:%d,linkSocket:%d,Ip:%s,Port:%s",
          nError, context.mSocketId, context.mLinkSocket, context.mszPeerIp, context.mszPort);
  noteSendError(context, nError);
  return false;
}

uint8_t sendUdpFrameToLocked(ZtipContext &context, ZTIP_Head_Para &para, const uint8_t *pData, int nLen,
                             const char *pstrIp, int nPort) {
  para.crypt_mode = kCryptAuto;
  context.mLastUnitId = para.unit_id;
  if (nLen < 0 || kHeadSize + static_cast<size_t>(nLen) > kMaxUdpSendFrame)
    return kResultIncompleteSend;
  std::vector<uint8_t> &vecFrame = context.mSendFrame;
  assembleFrame(library().sender(false), para, 0, pData, static_cast<size_t>(nLen), vecFrame);
  sockaddr_in addr;
  if (!makeAddress(pstrIp, nPort, addr) || ::sendto(context.mLinkSocket, vecFrame.data(), vecFrame.size(), 0,
                                                    reinterpret_cast<const sockaddr *>(&addr),
                                                    sizeof(addr)) != static_cast<ssize_t>(vecFrame.size())) {
    ZTIPLog(kLogError, kAreaOperation, "send execute but sent == -1, send failure");
    return kResultIncompleteSend;
  }
  context.mLastSendMs = zt::tickMs();
  return kResultOk;
}

} // namespace zt::ip
