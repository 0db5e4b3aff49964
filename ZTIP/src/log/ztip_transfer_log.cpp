#include "log/ztip_transfer_log.h"

#include "log/ZTIPMyFileLog.h"
#include "codec/ztip_head.h"

namespace zt::ip {

void logTransferRecord(bool bSend, bool bTcp, const ZTIP_Head_Para &para, uint32_t nDataLen, int nSocket,
                       const char *pstrIp, const char *pstrPort) {
  if (isKeyExchangeCmd(para.cmd) || para.cmd == kCmdHeartbeat)
    return;
  const char *pstrLead = bSend ? (bTcp ? "\"flag\":\"send\",\"streamtype\":\"tcp\","
                                       : "\"flag\":\"send\",\"streamtype\":\"udp\",")
                               : (bTcp ? "\"flag\":\"receive\",\"streamtype\":\"tcp\","
                                       : "\"flag\":\"receive\",\"streamtype\":\"udp\",");
  ZTIPLog(
      kLogPeriodic, kAreaOperation,
      "{%s\"socket\":\"%d\",\"ip\":\"%s\",\"port\":\"%s\",\"ZTIP_Head_Para\":{\"crypt_mode\":0x%04x,"
      "\"protocol_type\":0x%02x,\"func_code\":0x%02x,\"cmd\":0x%04x,\"status\":0x%04x,\"producttype\":0x%02x,"
      "\"unit_id\":0x%08x,\"session_id\":0x%08x, data_len:0x%08x}}\n",
      pstrLead, nSocket, pstrIp != nullptr ? pstrIp : "", pstrPort != nullptr ? pstrPort : "",
      para.crypt_mode, para.protocol_type, para.func_code, para.cmd, para.status, para.producttype,
      para.unit_id, para.session_id, nDataLen);
}

} // namespace zt::ip
