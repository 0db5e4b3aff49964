// Opening sockets: TCP servers, TCP clients (also bound to a source address), UDP clients
// and UDP servers. Every failure logs its line, closes the new socket and returns its code.
#include "ZTIP.h"
#include "log/ZTIPMyFileLog.h"
#include "connection/ztip_connection_notify.h"
#include "api/ztip_guard.h"
#include "connection/ztip_context.h"
#include "api/ztip_library.h"
#include "codec/ztip_result.h"
#include "connection/ztip_socket.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>

namespace zt::ip {
namespace {

constexpr int kServerRecvTimeoutMs = 3000;
constexpr int kServerRecvBufferSize = 0x8000;
constexpr int kServerBacklog = 100;
constexpr int kClientBufferSize = 102400;
constexpr int kUdpServerRecvBufferSize = 512000;

uint8_t fail(int &nSocket, uint8_t uCode, const char *pstrMessage) {
  ZTIPLog(kLogError, kAreaOperation, "%s", pstrMessage);
  closeSocket(nSocket);
  return uCode;
}

void copyText(char *pDest, size_t nSize, const std::string &strText) {
  std::memset(pDest, 0, nSize);
  std::strncpy(pDest, strText.c_str(), nSize - 1);
}

bool bindTo(int nSocket, const char *pstrIp, int nPort) {
  sockaddr_in addr;
  return makeAddress(pstrIp, nPort, addr) &&
         ::bind(nSocket, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0;
}

// Connects a non-blocking socket within the connect time-out; 1 or the failure's code.
uint8_t connectTo(int &nSocket, const char *pstrIp, int nPort) {
  sockaddr_in addr;
  if (pstrIp == nullptr || *pstrIp == '\0' || !makeAddress(pstrIp, nPort, addr))
    return fail(nSocket, kResultConnect, "connect error");
  if (::connect(nSocket, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0)
    return kResultOk;
  if (errno != EINPROGRESS && errno != EAGAIN)
    return fail(nSocket, kResultConnect, "connect error");
  int nError = waitConnected(nSocket, static_cast<int>(timings().uConnectTimeoutMs));
  if (nError == ETIMEDOUT) {
    ZTIPLog(kLogError, kAreaOperation, "connect timeout %d, sockTCPClient %d", EWOULDBLOCK, nSocket);
    closeSocket(nSocket);
    return kResultConnectTimeout;
  }
  return nError == 0 ? kResultOk : fail(nSocket, kResultConnect, "connect error");
}

uint8_t startTcpClient(uint16_t *pSocketId, ZTIP_RecvCallback callback, const char *pstrIp, int nPort,
                       const char *pstrSrcIp, bool bBind) {
  if (!library().bInit) {
    ZTIPLog(kLogError, kAreaOperation, "Tcp Client:[error,getInitFlag() == ZTIP_FALSE]");
    return kResultNotInit;
  }
  if (callback == nullptr || pSocketId == nullptr) {
    ZTIPLog(kLogError, kAreaOperation, "Tcp Client:[error,TCPClientCallback == NULL]");
    return kResultCallbackMissing;
  }
  int nSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (nSocket < 0)
    return fail(nSocket, kResultSocket, "Tcp Client:[create socket, socket() error]");
  if (!setNonBlocking(nSocket))
    return fail(nSocket, kResultNonBlocking, "Tcp Client:[set unblock attributes error]");
  if (!setBufferSizes(nSocket, kClientBufferSize, kClientBufferSize))
    return fail(nSocket, kResultBufferSizes, "Tcp Client:[set recv buff size attributes error]");
  if (bBind && !bindTo(nSocket, pstrSrcIp, 0))
    return fail(nSocket, kResultBind, "Tcp Client:[bind client to specify IP Failure]");
  uint8_t uRet = connectTo(nSocket, pstrIp, nPort);
  if (uRet != kResultOk)
    return uRet;
  ZtipContext *pContext = takeContext(ZtipRange::Connection, nSocket);
  if (pContext == nullptr)
    return fail(nSocket, kResultNoFreeContext,
                bBind ? "Tcp Client Bind Ip:[no active context to use]"
                      : "Tcp Client:[no active context to use]");
  uint16_t uSocketId;
  {
    std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
    uSocketId = pContext->mSocketId;
    copyText(pContext->mszPeerIp, sizeof(pContext->mszPeerIp), pstrIp);
    copyText(pContext->mszPort, sizeof(pContext->mszPort), std::to_string(nPort));
    pContext->mTCP = true;
    pContext->mbClient = true;
    pContext->mpRecvCallback = callback;
  }
  library().connectionSockets.add(nSocket, uSocketId);
  ZTIPLog(kLogEvent, kAreaOperation,
          bBind ? "Tcp Client:[create tcp client bind ip success] socket:%d, SocketId:%d, port:%d"
                : "Tcp Client:[create tcp client success] socket:%d, SocketId:%d, port:%d",
          nSocket, uSocketId, nPort);
  *pSocketId = uSocketId;
  notifyConnection(kConnectionOutgoing, kStatusConnected, uSocketId, pstrIp, nPort);
  return kResultOk;
}

struct UdpClientTexts {
  const char *pstrNoContext;
  const char *pstrSuccess;
};

uint8_t startUdpClient(uint16_t *pSocketId, const char *pstrIp, int nPort, ZTIP_RecvCallback callback,
                       const UdpClientTexts &texts) {
  if (!library().bInit) {
    ZTIPLog(kLogError, kAreaOperation, "Udp Client:[error,getInitFlag()== ZTIP_FALSE]");
    return kResultNotInit;
  }
  if (callback == nullptr || pSocketId == nullptr) {
    ZTIPLog(kLogError, kAreaOperation, "Udp Client:[error,UDPClientCallback == NULL]");
    return kResultCallbackMissing;
  }
  int nSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (nSocket < 0)
    return fail(nSocket, kResultSocket, "Udp Client:[create socket, socket() error]");
  if (!setNonBlocking(nSocket))
    return fail(nSocket, kResultUdpClientNonBlocking, "Udp Client:[set socket unblock error]");
  if (pstrIp != nullptr && *pstrIp != '\0') {
    if (!bindTo(nSocket, pstrIp, 0))
      return fail(nSocket, kResultBind, "Udp Client:[bind ip error]");
    ZTIPLog(kLogStep, kAreaOperation, "Udp Client:[bind ip success]");
  }
  if (!setBroadcast(nSocket))
    return fail(nSocket, kResultBroadcast, "Udp Client:[set socket broadcast error]");
  ZtipContext *pContext = takeContext(ZtipRange::Udp, nSocket);
  if (pContext == nullptr)
    return fail(nSocket, kResultNoFreeContext, texts.pstrNoContext);
  uint16_t uSocketId;
  {
    std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
    uSocketId = pContext->mSocketId;
    copyText(pContext->mszPort, sizeof(pContext->mszPort), std::to_string(nPort));
    copyText(pContext->mszPeerPort, sizeof(pContext->mszPeerPort), std::to_string(nPort));
    pContext->mTCP = false;
    pContext->mbClient = true;
    pContext->mpRecvCallback = callback;
  }
  library().udpSockets.add(nSocket, uSocketId);
  ZTIPLog(kLogEvent, kAreaOperation, texts.pstrSuccess, nSocket, uSocketId);
  *pSocketId = uSocketId;
  return kResultOk;
}

} // namespace
} // namespace zt::ip

using namespace zt::ip;

extern "C" {

uint8_t ztIP_StartTCPServer(uint16_t *socketId, ZTIP_RecvCallback callback, const char *ip, int port) {
  return ztipGuarded("ztIP_StartTCPServer", kResultFailed, [&]() -> uint8_t {
    ZTIPLog(kLogStep, kAreaOperation,
            "Tcp Server:[ztIP_StartTCPServer,pSocketId=%p,TCPServerCallback=%p,Ip=%s,Port=%d]",
            static_cast<void *>(socketId), reinterpret_cast<void *>(callback), ip != nullptr ? ip : "", port);
    if (!library().bInit) {
      ZTIPLog(kLogError, kAreaOperation, "Tcp Server:[error,getInitFlag() == ZTIP_FALSE]");
      return kResultNotInit;
    }
    if (callback == nullptr || socketId == nullptr) {
      ZTIPLog(kLogError, kAreaOperation, "Tcp Server:[error,TCPServerCallback == NULL]");
      return kResultCallbackMissing;
    }
    int nSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (nSocket < 0)
      return fail(nSocket, kResultSocket, "Tcp Server:[create socket, socket() error]");
    if (!setReuseAddress(nSocket))
      return fail(nSocket, kResultReuseAddr, "Tcp Server:[set socket reuse option failure]");
    ZTIPLog(kLogStep, kAreaOperation, "Tcp Server:[set socket reuse option success noww]");
    if (!setRecvTimeout(nSocket, kServerRecvTimeoutMs))
      return fail(nSocket, kResultRecvTimeout, "Tcp Server:[set time out attribute error ]");
    if (!setRecvBufferSize(nSocket, kServerRecvBufferSize))
      return fail(nSocket, kResultRecvBuffSize, "Tcp Server:[set recv buff size error]");
    if (!bindTo(nSocket, ip, port))
      return fail(nSocket, kResultBind, "Tcp Server:[set bind port error]");
    if (::listen(nSocket, kServerBacklog) != 0)
      return fail(nSocket, kResultListen, "Tcp Server:[set listen func error]");
    if (!setNonBlocking(nSocket))
      return fail(nSocket, kResultNonBlocking, "Tcp Server:[set unblock attributes error]");
    ZtipContext *pContext = takeContext(ZtipRange::Server, nSocket);
    if (pContext == nullptr)
      return fail(nSocket, kResultNoFreeContext, "Tcp Server:[no active context to use]");
    uint16_t uSocketId;
    {
      std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
      uSocketId = pContext->mSocketId;
      pContext->mServerSocketId = uSocketId;
      pContext->mListenSocket = nSocket;
      copyText(pContext->mszPort, sizeof(pContext->mszPort), std::to_string(port));
      copyText(pContext->mszPeerPort, sizeof(pContext->mszPeerPort), std::to_string(port));
      pContext->mTCP = true;
      pContext->mbClient = false;
      pContext->mpRecvCallback = callback;
    }
    library().serverSockets.add(nSocket, uSocketId);
    ZTIPLog(kLogEvent, kAreaOperation, "Tcp Server:[create tcp server success] socket:%d,SocketId:%d", nSocket,
            uSocketId);
    *socketId = uSocketId;
    return kResultOk;
  });
}

uint8_t ztIP_StartTCPClient(uint16_t *socketId, ZTIP_RecvCallback callback, const char *ip, int port) {
  return ztipGuarded("ztIP_StartTCPClient", kResultFailed, [&]() -> uint8_t {
    ZTIPLog(kLogStep, kAreaOperation,
            "Tcp Client:[ztIP_StartTCPClient,pSocketId=%p,TCPClientCallback=%p,Ip=%s,Port=%d]",
            static_cast<void *>(socketId), reinterpret_cast<void *>(callback), ip != nullptr ? ip : "", port);
    return startTcpClient(socketId, callback, ip, port, nullptr, false);
  });
}

uint8_t ztIP_StartTCPClient_BindIP(uint16_t *socketId, ZTIP_RecvCallback callback, const char *ip, int port,
                                   const char *srcIp) {
  return ztipGuarded("ztIP_StartTCPClient_BindIP", kResultFailed, [&]() -> uint8_t {
    ZTIPLog(kLogStep, kAreaOperation,
            "Tcp Client:[ztIP_StartTCPClient_BindIP,pSocketId=%p,TCPClientCallback=%p,Ip=%s,Port=%d,SrcIp=%s]",
            static_cast<void *>(socketId), reinterpret_cast<void *>(callback), ip != nullptr ? ip : "", port,
            srcIp != nullptr ? srcIp : "");
    return startTcpClient(socketId, callback, ip, port, srcIp, true);
  });
}

uint8_t ztIP_StartUDPClient(uint16_t *socketId, const char *ip, int port, ZTIP_RecvCallback callback) {
  return ztipGuarded("ztIP_StartUDPClient", kResultFailed, [&]() -> uint8_t {
    ZTIPLog(kLogStep, kAreaOperation,
            "Udp Client:[ztIP_StartUDPClient,pSocketId=%p,UDPClientCallback=%p,Ip=%s,port=%d]",
            static_cast<void *>(socketId), reinterpret_cast<void *>(callback), ip != nullptr ? ip : "", port);
    return startUdpClient(socketId, ip, port, callback,
                          {"Udp Client:[no active context to use]",
                           "Udp Client:[create udp client success] socket:%d,SocketId:%d"});
  });
}

uint8_t ztIP_StartUDPClient_BindDevice(uint16_t *socketId, const char *ip, int port, const char *deviceName,
                                       ZTIP_RecvCallback callback) {
  return ztipGuarded("ztIP_StartUDPClient_BindDevice", kResultFailed, [&]() -> uint8_t {
    ZTIPLog(
        kLogStep, kAreaOperation,
        "Udp "
        "Client:[ztIP_StartUDPClient_BindDevice,pSocketId=%p,UDPClientCallback=%p,Ip=%s,port=%d,deviceName=%s]",
        static_cast<void *>(socketId), reinterpret_cast<void *>(callback), ip != nullptr ? ip : "", port,
        deviceName != nullptr ? deviceName : "");
    return startUdpClient(socketId, ip, port, callback,
                          {"Udp Client bind device:[no active context to use]",
                           "Udp Client:[create udp client bind device success] socket:%d,SocketId:%d"});
  });
}

uint8_t ztIP_StartUDPServer(uint16_t *socketId, ZTIP_RecvCallback callback, const char *ip,
                            const char *deviceName, int port) {
  return ztipGuarded("ztIP_StartUDPServer", kResultFailed, [&]() -> uint8_t {
    ZTIPLog(kLogStep, kAreaOperation,
            "Udp Server:[ztIP_StartUDPServer,pSocketId=%p,UDPServerCallback=%p,Ip=%s,DeviceName=%s,Port=%d]",
            static_cast<void *>(socketId), reinterpret_cast<void *>(callback), ip != nullptr ? ip : "",
            deviceName != nullptr ? deviceName : "", port);
    if (!library().bInit) {
      ZTIPLog(kLogError, kAreaOperation, "Udp Server:[getInitFlag() == ZTIP_FALSE]");
      return kResultNotInit;
    }
    if (callback == nullptr || socketId == nullptr) {
      ZTIPLog(kLogError, kAreaOperation, "Udp Server:[UDPServerCallback == NULL]");
      return kResultCallbackMissing;
    }
    int nSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (nSocket < 0)
      return fail(nSocket, kResultSocket, "Udp Server:[create socket, socket() error]");
    if (!setBroadcast(nSocket))
      return fail(nSocket, kResultBroadcast, "Udp Server:[set socket broadcast error]");
    if (!setRecvBufferSize(nSocket, kUdpServerRecvBufferSize))
      return fail(nSocket, kResultRecvBuffSize, "Udp Server:[set recv buff size error]");
    if (!bindTo(nSocket, ip, port))
      return fail(nSocket, kResultBind, "Udp Server:[bind port error]");
    if (!setNonBlocking(nSocket))
      return fail(nSocket, kResultNonBlocking, "Udp Server:[set unblock attributes error]");
    ZtipContext *pContext = takeContext(ZtipRange::Udp, nSocket);
    if (pContext == nullptr)
      return fail(nSocket, kResultNoFreeContext, "Udp Server:[no active context to use]");
    uint16_t uSocketId;
    {
      std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
      uSocketId = pContext->mSocketId;
      copyText(pContext->mszPort, sizeof(pContext->mszPort), std::to_string(port));
      copyText(pContext->mszPeerPort, sizeof(pContext->mszPeerPort), std::to_string(port));
      pContext->mTCP = false;
      pContext->mbClient = false;
      pContext->mpRecvCallback = callback;
    }
    library().udpSockets.add(nSocket, uSocketId);
    ZTIPLog(kLogEvent, kAreaOperation, "Udp Server:[create udp server success] socket:%d,SocketId=%d", nSocket,
            uSocketId);
    *socketId = uSocketId;
    return kResultOk;
  });
}

} // extern "C"
