// The status refresh thread: closes connections that were given up or stayed silent past
// the receive time-out, and UDP sockets that were given up.
#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "connection/ztip_connection_close.h"
#include "api/ztip_library.h"
#include "connection/ztip_socket.h"
#include "connection/ztip_threads.h"

namespace zt::ip {
namespace {

constexpr long long kSlowNotifyTotalMs = 500;

bool isDeadOrSilent(const ZtipContext &context, uint64_t uNowMs, uint64_t uTimeoutMs) {
  return context.mbActive != 1 || msSince(uNowMs, context.mLastRecvMs) > uTimeoutMs;
}

void closeDeadConnections() {
  uint64_t uNow = zt::tickMs();
  uint64_t uTimeoutMs = library().uRecvTimeoutMs;
  long long nNotifyTotal = 0;
  for (uint16_t uId = kFirstConnectionId; uId <= kLastConnectionId; ++uId) {
    ZtipContext &context = *contextAt(uId);
    if (!isDeadOrSilent(context, uNow, uTimeoutMs))
      continue;
    long long nSpent = closeConnectionIf(context, [uNow, uTimeoutMs](ZtipContext &c) {
      return c.mTCP && isDeadOrSilent(c, uNow, uTimeoutMs);
    });
    if (nSpent > 0)
      nNotifyTotal += nSpent;
  }
  if (nNotifyTotal > kSlowNotifyTotalMs)
    ZTIPLog(kLogEvent, kAreaConnection, "diconnect notify total waster time:%lld ms", nNotifyTotal);
}

void logUdpClose(const ZtipContext &context) {
  ZTIPLog(kLogEvent, kAreaConnection,
          "ZTIPContext Operation[delete UDP socket mysocket:%d, linksocket:%d, ulRecvTime:%ld]",
          context.mListenSocket, context.mLinkSocket, static_cast<long>(context.mLastRecvMs.load()));
}

} // namespace

void statusRefreshThread() {
  while (sleepWhileRunning(timings().uRefreshTickMs)) {
    closeDeadConnections();
    closeInactiveInRange(ZtipRange::Udp, library().udpSockets, logUdpClose);
  }
}

} // namespace zt::ip
