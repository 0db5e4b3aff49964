// Managing connections and settings: disconnect, callback registrations, send buffer
// sizes, the priority command set, the receive time-out and the log switches.
#include "ZTIP.h"
#include "log/ZTIPMyFileLog.h"
#include "connection/ztip_context.h"
#include "api/ztip_guard.h"
#include "api/ztip_library.h"
#include "connection/ztip_priority_commands.h"
#include "codec/ztip_result.h"
#include "connection/ztip_socket.h"

namespace zt::ip {
namespace {

constexpr int kMinTimeoutSeconds = 5;
constexpr int kMaxTimeoutSeconds = 60;

uint8_t setSendBuffer(ZtipContext *pContext, int nSize) {
  if (pContext == nullptr)
    return kResultFailed;
  std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
  if (pContext->mbActive != 1 || !setSendBufferSize(pContext->mLinkSocket, nSize)) {
    ZTIPLog(kLogError, kAreaOperation, "WSAGetLastError set send buff size error code:%d", lastSocketError());
    return kResultFailed;
  }
  return kResultOk;
}

uint8_t setWinCallback(ZtipContext *pContext, ZTIP_WinRecvCallback callback, void *pUser) {
  if (pContext == nullptr)
    return kResultFailed;
  std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
  pContext->mpWinCallback = callback;
  pContext->mpWinUser = pUser;
  return kResultOk;
}

} // namespace
} // namespace zt::ip

using namespace zt::ip;

extern "C" {

uint8_t ztIP_Disconnect(uint16_t socketId) {
  return ztipGuarded("ztIP_Disconnect", kResultFailed, [&]() -> uint8_t {
    ZtipContext *pContext = contextAt(socketId);
    if (!library().bInit || pContext == nullptr)
      return kResultFailed;
    {
      std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
      pContext->mbActive = 0;
    }
    ZTIPLog(kLogEvent, kAreaConnection, "ZTIPContextDisconnect,positive close socket(%d)", socketId);
    // The listen thread closes a server in its next round; wake it rather than let it wait.
    library().serverSockets.wake();
    return kResultOk;
  });
}

void ztIP_RegisterConnectionNotify(ZTIP_ConnectionNotify callback) {
  ztipGuarded("ztIP_RegisterConnectionNotify", [&] {
    library().pNotify = callback;
  });
}

void ztIP_RegisterWinConnectionNotify(void *user, ZTIP_WinConnectionNotify callback) {
  ztipGuarded("ztIP_RegisterWinConnectionNotify", [&] {
    library().pWinNotifyUser = user;
    library().pWinNotify = callback;
  });
}

uint8_t ztIP_RegisterWinCallback_BySockID(ZTIP_WinRecvCallback callback, void *user, uint16_t socketId) {
  return ztipGuarded("ztIP_RegisterWinCallback_BySockID", kResultFailed, [&]() -> uint8_t {
    if (!library().bInit)
      return kResultNotInit;
    return setWinCallback(findContext(socketId), callback, user);
  });
}

uint8_t ztIP_RegisterWinCallback_ByIPPORT(ZTIP_WinRecvCallback callback, void *user, const char *ip,
                                          int port) {
  return ztipGuarded("ztIP_RegisterWinCallback_ByIPPORT", kResultFailed, [&]() -> uint8_t {
    if (ip == nullptr || port == 0)
      return kResultFailed;
    if (!library().bInit)
      return kResultNotInit;
    return setWinCallback(findConnectionByAddress(ip, port), callback, user);
  });
}

uint8_t ztIP_RegisterUdpCallback_BySockID(ZTIP_UdpRecordCallback callback, uint16_t socketId) {
  return ztipGuarded("ztIP_RegisterUdpCallback_BySockID", kResultFailed, [&]() -> uint8_t {
    if (!library().bInit)
      return kResultNotInit;
    ZtipContext *pContext = findContext(socketId);
    if (pContext == nullptr)
      return kResultFailed;
    std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
    pContext->mpUdpCallback = callback;
    pContext->mpRecvCallback = nullptr;
    return kResultOk;
  });
}

uint8_t ztIP_SetSendBuff_BySockID(int size, uint16_t socketId) {
  return ztipGuarded("ztIP_SetSendBuff_BySockID", kResultFailed, [&]() -> uint8_t {
    if (!library().bInit)
      return kResultNotInit;
    return setSendBuffer(findContext(socketId), size);
  });
}

uint8_t ztIP_SetSendBuff_ByIPPORT(int size, const char *ip, int port) {
  return ztipGuarded("ztIP_SetSendBuff_ByIPPORT", kResultFailed, [&]() -> uint8_t {
    if (!library().bInit)
      return kResultNotInit;
    return setSendBuffer(ip != nullptr ? findConnectionByAddress(ip, port) : nullptr, size);
  });
}

uint8_t ztIP_SetPriorityCMDSet(const uint16_t *cmds, int count) {
  return ztipGuarded("ztIP_SetPriorityCMDSet", kResultFailed, [&]() -> uint8_t {
    return setPriorityCommands(cmds, count);
  });
}

int ztIP_SetTimeOutValue(int seconds) {
  return ztipGuarded("ztIP_SetTimeOutValue", seconds, [&]() -> int {
    if (seconds >= kMinTimeoutSeconds && seconds <= kMaxTimeoutSeconds)
      library().uRecvTimeoutMs = static_cast<uint64_t>(seconds) * 1000;
    return seconds;
  });
}

void ztIP_SetLogFlag(int on) {
  ztipGuarded("ztIP_SetLogFlag", [&] {
    setLogFlag(on);
  });
}
void ztIP_SetLogLevel(int minimum) {
  ztipGuarded("ztIP_SetLogLevel", [&] {
    setLogLevel(minimum);
  });
}
void ztIP_SetCompleteLog(int on) {
  ztipGuarded("ztIP_SetCompleteLog", [&] {
    setCompleteLog(on);
  });
}
void ztIP_SetTransLog(uint8_t on) {
  ztipGuarded("ztIP_SetTransLog", [&] {
    setTransLog(on);
  });
}

} // extern "C"
