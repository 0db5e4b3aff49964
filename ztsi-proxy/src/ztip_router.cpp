#include "ztip_router.h"

#include "callback_guard.h"
#include "ztip_handle.h"

#include <condition_variable>
#include <mutex>

namespace zt::proxy::ztip_router {
namespace {

// One side's object and the number of callbacks running in it. No lock is held while a
// callback runs (the link thread holds its object's lock while ZTIP calls back into it);
// detaching waits until the object's running callbacks have returned.
struct Route {
  ZtipHandle *pHandle = nullptr;
  int nBusy = 0;
};

struct Routes {
  std::mutex lifecycle; // attach and detach one at a time (callbacks never take it)
  std::mutex mutex;
  std::condition_variable idle;
  Route client;
  Route server;
  int nUsers = 0;
};

Routes &routes() {
  static Routes s_routes;
  return s_routes;
}

// Runs call(handle) for the object of the side, if there is one.
template <typename Call> void dispatch(bool bServerSide, Call &&call) {
  Routes &r = routes();
  Route &route = bServerSide ? r.server : r.client;
  ZtipHandle *pHandle = nullptr;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    pHandle = route.pHandle;
    if (pHandle == nullptr)
      return;
    ++route.nBusy;
  }
  guarded(__func__, [&] { call(*pHandle); });
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    --route.nBusy;
  }
  r.idle.notify_all();
}

void onConnectionNotify(int nType, int nStatus, uint16_t uSocketId, const char *pstrIp, int nPort) {
  dispatch(nType == 1, [&](ZtipHandle &handle) { handle.onZtipConnectionNotify(nType, nStatus, uSocketId, pstrIp, nPort); });
}

} // namespace

uint8_t attach(ZtipHandle *pHandle, bool bServerMode) {
  Routes &r = routes();
  std::lock_guard<std::mutex> lifecycle(r.lifecycle);
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    (bServerMode ? r.server : r.client).pHandle = pHandle;
  }
  if (r.nUsers++ > 0)
    return 0x01;
  // Release mode (session encryption), product type 1, sub type 0x11, no callbacks.
  uint8_t uResult = ztIP_Init(0, 1, 17, 0, nullptr, nullptr, nullptr, nullptr);
  ztIP_RegisterConnectionNotify(onConnectionNotify);
  return uResult;
}

void detach(ZtipHandle *pHandle) {
  Routes &r = routes();
  std::lock_guard<std::mutex> lifecycle(r.lifecycle);
  {
    std::unique_lock<std::mutex> lock(r.mutex);
    Route &route = r.server.pHandle == pHandle ? r.server : r.client;
    if (route.pHandle != pHandle)
      return;
    route.pHandle = nullptr;
    r.idle.wait(lock, [&] { return route.nBusy == 0; });
  }
  if (--r.nUsers > 0)
    return;
  ztIP_RegisterConnectionNotify(nullptr);
  ztIP_Exit();
}

void onReceive(uint16_t uSocketId, uint16_t uServerSocketId, ZTIP_Head_Para head, uint32_t uDataLen,
               const uint8_t *pData, const char *, const char *) {
  // Connections a server accepted carry its id; outgoing ones carry 0.
  dispatch(uServerSocketId != 0, [&](ZtipHandle &handle) { handle.onZtipRecvCallback(uSocketId, head, pData, uDataLen); });
}

} // namespace zt::proxy::ztip_router
