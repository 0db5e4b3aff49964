#include "call_dispatch.h"

#include "command_code.h"
#include "ztsi_log.h"

namespace zt::si {

void dispatchCall(ztsi_data_callback pCallback, int nCmd, const char *pstrDevId, int nSn, const char *pData,
                  int nLen, void *pUserData) {
  if (nCmd < protocol::kCmdFindDevices || nCmd > protocol::kCmdQryRunModel) {
    ZTSI_LOG_ERROR("unkonwn cmd:%d\n", nCmd);
    return;
  }
  if (nCmd == protocol::kCmdRegTestCase || (nCmd == protocol::kCmdFindDevices && nLen < 1) || pCallback == nullptr) {
    return;
  }
  pCallback(pstrDevId, nSn, pData, nLen, pUserData);
}

} // namespace zt::si
