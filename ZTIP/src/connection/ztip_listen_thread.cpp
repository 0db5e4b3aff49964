// The listen thread: closes servers given up by the application, accepts new connections
// on the others and starts their key exchange.
#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "codec/ztip_key_exchange.h"
#include "api/ztip_library.h"
#include "codec/ztip_result.h"
#include "connection/ztip_socket.h"
#include "connection/ztip_threads.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace zt::ip {
namespace {

constexpr int kAcceptedBufferSize = 102400;
constexpr uint64_t kSlowAcceptMs = 500;

void logServerClose(const ZtipContext &context) {
  ZTIPLog(kLogEvent, kAreaAccept, "ZTIPContext Operation[delete TCP Server mysocket:%d, linksocket:%d]",
          context.mListenSocket, context.mLinkSocket);
}

// What an accepted connection takes over from its server.
struct ServerInfo {
  uint16_t uSocketId;
  int nSocket;
  char szPort[10];
  ZTIP_RecvCallback pCallback;
};

void adoptConnection(int nSocket, const sockaddr_in &peer, const ServerInfo &server) {
  if (!setBufferSizes(nSocket, kAcceptedBufferSize, kAcceptedBufferSize)) {
    ZTIPLog(kLogError, kAreaAccept, "Listen Thread Operation[set recv buffsize failure]");
    closeSocket(nSocket);
    return;
  }
  if (!setNonBlocking(nSocket)) {
    ZTIPLog(kLogError, kAreaAccept, "Tcp Server Listen:[set new connect unblock attributes error]");
    closeSocket(nSocket);
    return;
  }
  ZtipContext *pContext = takeContext(ZtipRange::Connection, nSocket);
  if (pContext == nullptr) {
    ZTIPLog(kLogError, kAreaAccept, "Tcp Client:[no active context to use]");
    closeSocket(nSocket);
    return;
  }
  std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
  pContext->mListenSocket = server.nSocket;
  pContext->mServerSocketId = server.uSocketId;
  pContext->mpRecvCallback = server.pCallback;
  pContext->mTCP = true;
  pContext->mbClient = true;
  std::strncpy(pContext->mszPeerIp, addressText(peer).c_str(), sizeof(pContext->mszPeerIp) - 1);
  std::strncpy(pContext->mszPeerPort, portText(peer).c_str(), sizeof(pContext->mszPeerPort) - 1);
  std::memcpy(pContext->mszPort, server.szPort, sizeof(pContext->mszPort));
  ZTIPLog(kLogEvent, kAreaAccept,
          "Tcp Server Listen:[new connect add to list success] socketid:%d, socket:%d, Ip:%s, Port:%s",
          pContext->mSocketId, nSocket, pContext->mszPeerIp, pContext->mszPort);
  library().connectionSockets.add(nSocket, pContext->mSocketId);
  if (startKeyContactLocked(*pContext) != kResultOk) {
    ZTIPLog(kLogError, kAreaAccept, "ListenThreadFunc 0606 0000 send fail, disconnect!");
    pContext->mbActive = 0;
  }
}

void acceptOn(ZtipContext &server, int nListenSocket) {
  ServerInfo info;
  {
    std::lock_guard<std::mutex> statusLock(server.mStatusLock);
    if (server.mLinkSocket != nListenSocket || server.mbActive != 1)
      return;
    info.uSocketId = server.mSocketId;
    info.nSocket = nListenSocket;
    std::memcpy(info.szPort, server.mszPort, sizeof(info.szPort));
    info.pCallback = server.mpRecvCallback;
  }
  uint64_t uStart = zt::tickMs();
  // Everything waiting is accepted in one round, so a burst of clients is not held back.
  for (;;) {
    sockaddr_in peer{};
    socklen_t nLen = sizeof(peer);
    int nSocket = ::accept(nListenSocket, reinterpret_cast<sockaddr *>(&peer), &nLen);
    if (nSocket < 0) {
      if (errno == EINTR || errno == ECONNABORTED)
        continue;
      break;
    }
    adoptConnection(nSocket, peer, info);
  }
  uint64_t uSpent = zt::tickMs() - uStart;
  if (uSpent > kSlowAcceptMs)
    ZTIPLog(kLogEvent, kAreaAccept, "tcp listen thread:single accept waster time:[%lld ms], port[%s]",
            static_cast<long long>(uSpent), info.szPort);
}

} // namespace

void listenThread() {
  ZtipLibrary &lib = library();
  std::vector<ZtipSocketSet::Member> vecReadable, vecFailed;
  while (lib.bRun) {
    closeInactiveInRange(ZtipRange::Server, lib.serverSockets, logServerClose);
    if (!lib.serverSockets.wait(timings().nWaitTimeoutMs, vecReadable, vecFailed))
      continue;
    for (const ZtipSocketSet::Member &member : vecReadable)
      acceptOn(*contextAt(member.uSocketId), member.nSocket);
  }
}

} // namespace zt::ip
