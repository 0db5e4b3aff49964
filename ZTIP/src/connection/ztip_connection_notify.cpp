#include "connection/ztip_connection_notify.h"
#include "api/ztip_guard.h"

#include "api/ztip_library.h"

namespace zt::ip {

void notifyConnection(int nType, int nStatus, uint16_t uSocketId, const char *pstrIp, int nPort) {
  ZtipLibrary &lib = library();
  ZTIP_ConnectionNotify pNotify = lib.pNotify;
  if (pNotify != nullptr)
    ztipGuarded("connection notify", [&] { pNotify(nType, nStatus, uSocketId, pstrIp, nPort); });
  ZTIP_WinConnectionNotify pWinNotify = lib.pWinNotify;
  void *pUser = lib.pWinNotifyUser;
  if (pWinNotify != nullptr && pUser != nullptr)
    ztipGuarded("window connection notify", [&] { pWinNotify(pUser, nType, nStatus, uSocketId, pstrIp, nPort); });
}

} // namespace zt::ip
