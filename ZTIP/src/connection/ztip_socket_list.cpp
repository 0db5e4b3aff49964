#include "connection/ztip_socket_list.h"
#include "api/ztip_guard.h"

#include "ZTIP.h"
#include "connection/ztip_context.h"
#include "api/ztip_library.h"
#include "codec/ztip_result.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace zt::ip {
namespace {

std::mutex g_listLock;
std::vector<ZtipSocketEntry> g_vecEntries;

ZtipSocketEntry makeEntry(const ZtipContext &context) {
  ZtipSocketEntry entry{};
  entry.socket_id = context.mSocketId;
  entry.tcp = context.mTCP ? 1 : 0;
  entry.client = context.mbClient ? 1 : 0;
  std::memcpy(entry.ip, context.mszPeerIp, sizeof(entry.ip));
  std::memcpy(entry.port, context.mszPort, sizeof(entry.port));
  entry.last_send_time = static_cast<uint32_t>(context.mLastSendMs.load());
  entry.producttype = context.mPeerProductType;
  entry.subtype = context.mPeerSubType;
  return entry;
}

} // namespace

void releaseSocketList() {
  std::lock_guard<std::mutex> lock(g_listLock);
  std::vector<ZtipSocketEntry>().swap(g_vecEntries);
}

} // namespace zt::ip

using namespace zt::ip;

extern "C" uint8_t ztIP_SocketIdList(ZtipSocketEntry **list, int *count) {
  return ztipGuarded("ztIP_SocketIdList", kResultFailed, [&]() -> uint8_t {
    if (!library().bInit)
      return kResultNotInit;
    if (list == nullptr || count == nullptr)
      return kResultFailed;
    std::lock_guard<std::mutex> lock(g_listLock);
    g_vecEntries.clear();
    // Ids run UDP sockets, servers, connections: the order the list is given in.
    for (uint16_t uId = 0; uId < kContextCount; ++uId) {
      ZtipContext &context = *contextAt(uId);
      if (context.mbActive != 1)
        continue;
      std::lock_guard<std::mutex> statusLock(context.mStatusLock);
      if (context.mbActive == 1)
        g_vecEntries.push_back(makeEntry(context));
    }
    *list = g_vecEntries.data();
    *count = static_cast<int>(g_vecEntries.size());
    return kResultOk;
  });
}
