#include "command_table.h"

#include <map>

namespace zt::proxy {
namespace {

const std::map<int, std::string> &table() {
  static const std::map<int, std::string> s_table{
      {kCmdHeartbeat, "代理客户端与服务端的心跳"},
      {kCmdRegisterDriver, "注册驱动"},
      {kCmdRegisterDevice, "注册设备"},
      {kCmdReportData, "上报数据"},
      {kCmdReportDataCallback, "上报数据的回调"},
      {kCmdReportStatus, "上报状态"},
      {kCmdReportStatusCallback, "上报状态的回调"},
      {kCmdReportEvent, "上报事件"},
      {kCmdReportEventCallback, "上报事件的回调"},
      {kCmdFindDevice, "查找设备"},
      {kCmdFindDeviceCallback, "查找设备的回调"},
      {kCmdSetParam, "设置参数"},
      {kCmdSetParamCallback, "设置参数的回调"},
      {kCmdGetParam, "获取参数"},
      {kCmdGetParamCallback, "获取参数的回调"},
      {kCmdCtrl, "操控设备"},
      {kCmdCtrlCallback, "操控设备的回调"},
      {kCmdQryStatus, "查询状态"},
      {kCmdQryStatusCallback, "查询状态的回调"},
  };
  return s_table;
}

} // namespace

void buildCommandTable() { table(); }

const char *commandName(int nCmd) {
  auto it = table().find(nCmd);
  return it == table().end() ? "未知的操作命令" : it->second.c_str();
}

} // namespace zt::proxy
