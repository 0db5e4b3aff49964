// The proxy commands: the codes of the link messages and their display names.
#pragma once

#include <string>

namespace zt::proxy {

enum ProxyCommand : int {
  kCmdHeartbeat = 0x8001,
  kCmdRegisterDriver = 0x8011,
  kCmdRegisterDevice = 0x8012,
  kCmdReportData = 0x8013,
  kCmdReportDataCallback = 0x8014,
  kCmdReportStatus = 0x8015,
  kCmdReportStatusCallback = 0x8016,
  kCmdReportEvent = 0x8017,
  kCmdReportEventCallback = 0x8018,
  kCmdFindDevice = 0x8019,
  kCmdFindDeviceCallback = 0x8020,
  kCmdSetParam = 0x8021,
  kCmdSetParamCallback = 0x8022,
  kCmdGetParam = 0x8023,
  kCmdGetParamCallback = 0x8024,
  kCmdCtrl = 0x8025,
  kCmdCtrlCallback = 0x8026,
  kCmdQryStatus = 0x8027,
  kCmdQryStatusCallback = 0x8028,
};

// Builds the table once; later calls do nothing. commandName builds it too when needed.
void buildCommandTable();

// The display name, or "未知的操作命令" for a code not in the table.
const char *commandName(int nCmd);

} // namespace zt::proxy
