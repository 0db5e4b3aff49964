#include "ztip_connection_notify.h"
#include "ztip_guard.h"

#include "ztip_library.h"

namespace ztip {

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

} // namespace ztip
