// The key-contact thread: heartbeats on idle connections and the time limit of the key
// exchange.
#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "connection/ztip_frame_send.h"
#include "api/ztip_library.h"
#include "connection/ztip_threads.h"

namespace zt::ip {
namespace {

constexpr uint64_t kSlowContextMs = 500;

void logSlowContext(const ZtipContext &context, uint64_t uSpent) {
  if (uSpent > kSlowContextMs)
    ZTIPLog(kLogEvent, kAreaConnection,
            "key contact thread:single key contact waster time:[%lld ms], ip[%s], port[%s]",
            static_cast<long long>(uSpent), context.mszPeerIp, context.mszPort);
}

void sendHeartbeats() {
  for (uint16_t uId = kFirstConnectionId; uId <= kLastConnectionId; ++uId) {
    ZtipContext &context = *contextAt(uId);
    if (context.mbActive != 1)
      continue;
    uint64_t uStart = zt::tickMs();
    std::lock_guard<std::mutex> statusLock(context.mStatusLock);
    if (context.mbActive == 1 && context.mTCP && context.mLinkSocket >= 0)
      sendHeartbeatIfIdleLocked(context, uStart, timings().uHeartbeatIdleMs);
    logSlowContext(context, zt::tickMs() - uStart);
  }
}

void dropStalledKeyExchanges() {
  for (uint16_t uId = kFirstConnectionId; uId <= kLastConnectionId; ++uId) {
    ZtipContext &context = *contextAt(uId);
    if (context.mbActive != 1)
      continue;
    uint64_t uStart = zt::tickMs();
    std::lock_guard<std::mutex> statusLock(context.mStatusLock);
    uint64_t uAge = msSince(uStart, context.mConnectMs);
    if (context.mbActive == 1 && !keysAgreed(context.mKeys) && uAge >= timings().uKeyExchangeLimitMs) {
      ZTIPLog(kLogError, kAreaKeyExchange,
              "too long time (%lldms) randomKey fail, SocketId[%d] linkSocket[%d] ip[%s] port[%s]",
              static_cast<long long>(uAge), context.mSocketId, context.mLinkSocket, context.mszPeerIp,
              context.mszPort);
      context.mbActive = 0;
    }
    logSlowContext(context, zt::tickMs() - uStart);
  }
}

} // namespace

void keyContactThread() {
  ZtipLibrary &lib = library();
  uint64_t uTick = 0;
  while (sleepWhileRunning(timings().uKeyContactTickMs)) {
    ++uTick;
    if (uTick % timings().nHeartbeatEveryTicks == 0)
      sendHeartbeats();
    if (uTick % timings().nKeyLimitEveryTicks == 0 && lib.bKeyLimitInForce)
      dropStalledKeyExchanges();
  }
}

} // namespace zt::ip
