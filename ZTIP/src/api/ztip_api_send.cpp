// Sending frames: by socket id, by a connection's address, and UDP frames to an address.
#include "ZTIP.h"
#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "connection/ztip_context.h"
#include "api/ztip_guard.h"
#include "connection/ztip_frame_send.h"
#include "codec/ztip_head.h"
#include "codec/ztip_head_validation.h"
#include "api/ztip_library.h"
#include "codec/ztip_result.h"
#include "log/ztip_transfer_log.h"

namespace zt::ip {
namespace {

constexpr uint64_t kSlowSendMs = 100;

// Sends one application frame on a context whose status lock the caller holds.
uint8_t sendApplicationFrameLocked(ZtipContext &context, ZTIP_Head_Para &head, int nLen,
                                   const uint8_t *pData) {
  uint64_t uStart = zt::tickMs();
  if (!context.mTCP)
    head.crypt_mode = kCryptAuto;
  if (!library().bDebugMode && validateHead(head) != kResultOk &&
      (context.mKeys.mKmState == kKmAgreed || context.mKeys.mDesKeyState == kDesKeyReady)) {
    ZTIPLog(kLogError, kAreaOperation,
            "send failure SocketId:%d,cmd:0x%04x,session_id:0x%08x,mDesKeyState:%d mKmState:%d",
            context.mSocketId, head.cmd, head.session_id, context.mKeys.mDesKeyState, context.mKeys.mKmState);
    return kResultHeadRejected;
  }
  uint8_t uRet = sendFrameLocked(context, head, pData, nLen);
  if (uRet == kResultOk)
    logTransferRecord(true, context.mTCP, head, static_cast<uint32_t>(nLen), context.mLinkSocket,
                      context.mszPeerIp, context.mszPort);
  else
    ZTIPLog(kLogError, kAreaOperation, "send failure SocketId:%d,cmd:0x%04x,session_id:0x%08x,ret:%d",
            context.mSocketId, head.cmd, head.session_id, uRet);
  uint64_t uSpent = zt::tickMs() - uStart;
  if (uSpent > kSlowSendMs)
    ZTIPLog(kLogEvent, kAreaConnection,
            "tcp app send thread:myapp send waster time:[%lld ms], ip[%s], port[%s]",
            static_cast<long long>(uSpent), context.mszPeerIp, context.mszPort);
  return uRet;
}

// A plain frame from a UDP context to an address (send-to and the log broadcast).
uint8_t sendUdpTo(uint16_t uSocketId, ZTIP_Head_Para *pHead, int nLen, const uint8_t *pData,
                  const char *pstrIp, int nPort, const char *pstrNoContext, const char *pstrTcpContext) {
  if (!library().bInit)
    return kResultNotInit;
  ZtipContext *pContext = findContext(uSocketId);
  if (pContext == nullptr) {
    ZTIPLog(kLogError, kAreaOperation, "%s", pstrNoContext);
    return kResultNoContext;
  }
  if (pHead == nullptr)
    return kResultFailed;
  std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
  if (pContext->mbActive != 1)
    return kResultNoContext;
  if (pContext->mTCP) {
    ZTIPLog(kLogError, kAreaOperation, "%s", pstrTcpContext);
    return kResultNoContext;
  }
  pHead->crypt_mode = kCryptAuto;
  if (!library().bDebugMode && validateHead(*pHead) != kResultOk)
    return kResultFailed;
  uint8_t uRet = sendUdpFrameToLocked(*pContext, *pHead, pData, nLen, pstrIp, nPort);
  if (uRet == kResultOk)
    logTransferRecord(true, false, *pHead, static_cast<uint32_t>(nLen), pContext->mLinkSocket, pstrIp,
                      std::to_string(nPort).c_str());
  return uRet;
}

} // namespace
} // namespace zt::ip

using namespace zt::ip;

extern "C" {

uint8_t ztIP_SendBySocketId(uint16_t socketId, ZTIP_Head_Para *head, int, int dataLen, const uint8_t *data) {
  return ztipGuarded("ztIP_SendBySocketId", kResultFailed, [&]() -> uint8_t {
    if (!library().bInit)
      return kResultNotInit;
    ZtipContext *pContext = findContext(socketId);
    if (pContext == nullptr) {
      ZTIPLog(kLogError, kAreaOperation,
              "ztIP_SendBySocketId,error,curContext is null,SocketId:%d,cmd:0x%04x,session_id:0x%08x", socketId,
              head != nullptr ? head->cmd : 0, head != nullptr ? head->session_id : 0);
      return kResultNoContext;
    }
    if (head == nullptr)
      return kResultFailed;
    std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
    if (pContext->mbActive != 1)
      return kResultNoContext;
    return sendApplicationFrameLocked(*pContext, *head, dataLen, data);
  });
}

uint8_t ztIP_TcpSendBy_IPPORT(const char *ip, int port, ZTIP_Head_Para *head, int, int dataLen,
                              const uint8_t *data, uint16_t *socketId) {
  return ztipGuarded("ztIP_TcpSendBy_IPPORT", kResultFailed, [&]() -> uint8_t {
    if (!library().bInit)
      return kResultNotInit;
    if (ip == nullptr || port == 0)
      return kResultAddressMissing;
    ZtipContext *pContext = findConnectionByAddress(ip, port);
    if (pContext == nullptr)
      return kResultNoContext;
    if (head == nullptr)
      return kResultFailed;
    std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
    if (pContext->mbActive != 1)
      return kResultNoContext;
    if (socketId != nullptr)
      *socketId = pContext->mSocketId;
    uint8_t uRet = sendApplicationFrameLocked(*pContext, *head, dataLen, data);
    if (uRet != kResultOk)
      ZTIPLog(kLogError, kAreaOperation, "send failure ret:%d", uRet);
    return uRet;
  });
}

uint8_t ztIP_UdpSendTo(uint16_t socketId, ZTIP_Head_Para *head, int, int dataLen, const uint8_t *data,
                       const char *destIp, int destPort) {
  return ztipGuarded("ztIP_UdpSendTo", kResultFailed, [&]() -> uint8_t {
    return sendUdpTo(socketId, head, dataLen, data, destIp, destPort, "ztIP_UdpSendTo,curContext == NULL",
                     "ztIP_UdpSendTo,curContext->mTCP == ZTIP_TRUE");
  });
}

uint8_t ztIP_UdpTransLog(uint16_t socketId, ZTIP_Head_Para *head, int, int len, const uint8_t *message,
                         int port) {
  return ztipGuarded("ztIP_UdpTransLog", kResultFailed, [&]() -> uint8_t {
    return sendUdpTo(socketId, head, len, message, "255.255.255.255", port,
                     "ztIP_UdpTransLog,curContext == NULL", "ztIP_UdpTransLog,curContext->mTCP == ZTIP_TRUE");
  });
}

} // extern "C"
