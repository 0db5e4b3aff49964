#include "ztip_router.h"

#include "logger.h"
#include "ztip_handle.h"

#include <mutex>
#include <shared_mutex>

namespace zt::proxy::ztip_router {
namespace {

struct Routes {
  std::mutex lifecycle;    // attach and detach one at a time (callbacks never take it)
  std::shared_mutex mutex; // shared while a callback runs, exclusive to change the routes
  ZtipHandle *pClient = nullptr;
  ZtipHandle *pServer = nullptr;
  int nUsers = 0;
};

Routes &routes() {
  static Routes s_routes;
  return s_routes;
}

void onConnectionNotify(int nType, int nStatus, uint16_t uSocketId, const char *pstrIp, int nPort) {
  Routes &r = routes();
  std::shared_lock<std::shared_mutex> lock(r.mutex);
  ZtipHandle *pHandle = nType == 1 ? r.pServer : r.pClient;
  if (pHandle != nullptr)
    pHandle->onZtipConnectionNotify(nType, nStatus, uSocketId, pstrIp, nPort);
}

} // namespace

uint8_t attach(ZtipHandle *pHandle, bool bServerMode) {
  Routes &r = routes();
  std::lock_guard<std::mutex> lifecycle(r.lifecycle);
  {
    std::unique_lock<std::shared_mutex> lock(r.mutex);
    (bServerMode ? r.pServer : r.pClient) = pHandle;
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
    std::unique_lock<std::shared_mutex> lock(r.mutex);
    if (r.pServer == pHandle)
      r.pServer = nullptr;
    else if (r.pClient == pHandle)
      r.pClient = nullptr;
    else
      return;
  }
  if (--r.nUsers > 0)
    return;
  ztIP_RegisterConnectionNotify(nullptr);
  ztIP_Exit();
}

void onReceive(uint16_t uSocketId, uint16_t uServerSocketId, ZTIP_Head_Para head, uint32_t uDataLen,
               const uint8_t *pData, const char *, const char *) {
  Routes &r = routes();
  std::shared_lock<std::shared_mutex> lock(r.mutex);
  // Connections a server accepted carry its id; outgoing ones carry 0.
  ZtipHandle *pHandle = uServerSocketId != 0 ? r.pServer : r.pClient;
  if (pHandle != nullptr)
    pHandle->onZtipRecvCallback(uSocketId, head, pData, uDataLen);
}

} // namespace zt::proxy::ztip_router
