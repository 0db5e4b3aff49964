#include "connection/ztip_connection_close.h"

#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "connection/ztip_connection_notify.h"
#include "api/ztip_library.h"
#include "connection/ztip_socket.h"

#include <cstdlib>
#include <cstring>

namespace zt::ip {

ClosedConnection closeConnectionLocked(ZtipContext &context) {
  ClosedConnection closed;
  closed.uSocketId = context.mSocketId;
  closed.uServerSocketId = context.mServerSocketId;
  closed.nListenSocket = context.mListenSocket;
  closed.nLinkSocket = context.mLinkSocket;
  std::memcpy(closed.szPeerIp, context.mszPeerIp, sizeof(closed.szPeerIp));
  std::memcpy(closed.szPort, context.mszPort, sizeof(closed.szPort));
  closed.uRecvMs = context.mLastRecvMs;
  closed.nActive = context.mbActive;
  library().connectionSockets.remove(context.mLinkSocket);
  closeSocket(context.mLinkSocket);
  releaseContext(context);
  return closed;
}

long long announceClosedConnection(const ClosedConnection &closed) {
  uint64_t uStart = zt::tickMs();
  int nType = closed.uServerSocketId != 0 ? kConnectionAccepted : kConnectionOutgoing;
  notifyConnection(nType, kStatusDisconnected, closed.uSocketId, closed.szPeerIp, std::atoi(closed.szPort));
  uint64_t uNow = zt::tickMs();
  long long nSpent = static_cast<long long>(uNow - uStart);
  ZTIPLog(kLogEvent, kAreaConnection,
          "ZTIPContext Operation[delete connect mysocket:%d, linksocket:%d, destination ip:%s, destination "
          "port:%s, "
          "socketID:%d, ulCurTick:%lld, ulRecvTime:%lld, timespan:%lld, bActive:%d]",
          closed.nListenSocket, closed.nLinkSocket, closed.szPeerIp, closed.szPort, closed.uSocketId,
          static_cast<long long>(uNow), static_cast<long long>(closed.uRecvMs),
          static_cast<long long>(msSince(uNow, closed.uRecvMs)), closed.nActive);
  if (nSpent > 100)
    ZTIPLog(kLogEvent, kAreaConnection, "key contact thread:notify disconnect status waster time:[%lld ms]",
            nSpent);
  return nSpent;
}

} // namespace zt::ip
