#include "ztsi_handle.h"

#include "answer_text.h"
#include "callback_guard.h"
#include "command_table.h"
#include "logger.h"
#include "message_fields.h"

#include <algorithm>
#include <cstring>

namespace zt::proxy {
namespace {

// A text field of a DeviceInfo, which has no terminator when it fills the field.
std::string fieldText(const char *pField, size_t nSize) { return std::string(pField, strnlen(pField, nSize)); }

const char *printable(const char *pstrText) { return pstrText != nullptr ? pstrText : "(null)"; }

void logNullUser(const char *pstrEntry) {
  logError("ZtsiHandle::%s,pZtsiHandle=null,数据为空异常!!!!!!", pstrEntry);
}

// How an answer or report callback is called in its log lines, by the code it sends.
struct CallbackName {
  const char *pstrMember;
  const char *pstrWords;
};

CallbackName callbackName(int nCmd) {
  switch (nCmd) {
  case kCmdSetParamCallback:
    return {"ztsiSetParamCallback", "设置参数"};
  case kCmdGetParamCallback:
    return {"ztsiGetParamCallback", "读取参数"};
  case kCmdCtrlCallback:
    return {"ztsiCtrlCallback", "操控"};
  case kCmdQryStatusCallback:
    return {"ztsiQryStatusCallback", "查询状态"};
  case kCmdReportDataCallback:
    return {"ztsiDataCallback", "上报数据"};
  case kCmdReportStatusCallback:
    return {"ztsiStatusCallback", "上报状态"};
  default:
    return {"ztsiEventCallback", "上报事件"};
  }
}

} // namespace

ZtsiHandle::ZtsiHandle(GlobalData &data, LinkSender &link) : m_data(data), m_link(link) {}

ZtsiHandle::~ZtsiHandle() { release(); }

bool ZtsiHandle::init() {
  logInfo("ZtsiHandle::init,begin");
  if (m_pZtsiHandle != nullptr) {
    logWarn("ZtsiHandle::init,is inited,m_pZtsiHandle=%p", static_cast<void *>(m_pZtsiHandle));
    return true;
  }
  ZtModuleInfo info{};
  ztsi_ModuleInfo(&info);
  logInfo("ZtsiHandle::init,ztsi_ModuleInfo,moduleName:%s,moduleType:%s,compileTime:%s,ver:%s", info.szModuleName,
          info.szModuleType, info.szBuildTime, info.szVersion);
  m_pZtsiHandle = ztsi_Create(m_data.brokerAddress().c_str(), _ztsiFindDevicesHandler, this);
  if (m_pZtsiHandle == nullptr) {
    logError("ZtsiHandle::init,ztsi_Create failed");
    return false;
  }
  logDebug("ZtsiHandle::init,m_pZtsiHandle=%p", static_cast<void *>(m_pZtsiHandle));
  ztsi_SetDataCallback(m_pZtsiHandle, _ztsiDataCallback);
  ztsi_SetStatusCallback(m_pZtsiHandle, _ztsiStatusCallback);
  ztsi_SetEventCallback(m_pZtsiHandle, _ztsiEventCallback);
  logInfo("ZtsiHandle::init,end");
  return true;
}

void ZtsiHandle::release() {
  if (m_pZtsiHandle == nullptr)
    return;
  logInfo("ZtsiHandle::release,begin,m_pZtsiHandle=%p", static_cast<void *>(m_pZtsiHandle));
  ztsi_Destory(m_pZtsiHandle);
  m_pZtsiHandle = nullptr;
  logInfo("ZtsiHandle::release,end");
}

bool ZtsiHandle::operate(int nCmd, const Json::Value &head, const Json::Value &body) {
  MessageFields fields;
  if (!readMessageFields(head, body, fields)) {
    logError("ZtsiHandle::operate,消息成员类型错误,丢弃,nCmd=0x%04x(%s)", nCmd, commandName(nCmd));
    return false;
  }
  logDebug("ZtsiHandle::operate,执行代理操作[%s],nCmd=0x%04x,strDevId=%s,nSn=%d,strSeqId=%s,strData=\n%s",
           commandName(nCmd), nCmd, fields.strDevId.c_str(), fields.nSn, fields.strSeqId.c_str(),
           fields.strData.c_str());
  const char *pstrDevId = fields.strDevId.c_str();
  const char *pData = fields.strData.c_str();
  int nLen = static_cast<int>(fields.strData.size());
  int nRet = -1;
  int nAnswerCmd = 0;
  switch (nCmd) {
  case kCmdRegisterDevice:
    return registerDeviceResult(body) == 0;
  case kCmdSetParam:
    nAnswerCmd = kCmdSetParamCallback;
    nRet = ztsi_SetParam(m_pZtsiHandle, pstrDevId, fields.nSn, pData, nLen, _ztsiSetParamCallback);
    break;
  case kCmdGetParam:
    nAnswerCmd = kCmdGetParamCallback;
    nRet = ztsi_GetParam(m_pZtsiHandle, pstrDevId, fields.nSn, _ztsiGetParamCallback);
    break;
  case kCmdCtrl:
    nAnswerCmd = kCmdCtrlCallback;
    nRet = ztsi_Ctrl(m_pZtsiHandle, pstrDevId, fields.nSn, pData, nLen, _ztsiCtrlCallback);
    break;
  case kCmdQryStatus:
    nAnswerCmd = kCmdQryStatusCallback;
    nRet = ztsi_QryStatus(m_pZtsiHandle, pstrDevId, fields.nSn, _ztsiQryStatusCallback);
    break;
  default:
    logWarn("ZtsiHandle::operate,执行代理操作异常，不支持的操作,nCmd=0x%04x(%s)", nCmd, commandName(nCmd));
    return false;
  }
  if (nRet == 0)
    return true;
  logError("ZtsiHandle::operate,执行代理操作[%s]失败,nRet=%d", commandName(nCmd), nRet);
  // The server's request waits for an answer: fail it now instead of after its time-out.
  Json::Value answerBody(Json::objectValue);
  answerBody["devId"] = fields.strDevId;
  answerBody["sn"] = fields.nSn;
  answerBody["code"] = -1;
  answerBody["data"] = "proxy request not sent.";
  m_link.sendCommand(nAnswerCmd, answerBody);
  return false;
}

void ZtsiHandle::findDevice() {
  {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_devices.clear();
  }
  logDebug("ZtsiHandle::findDevice,主动查找设备.");
  if (m_pZtsiHandle != nullptr)
    ztsi_GetFoundDev(m_pZtsiHandle, _ztsiFindDevicesHandler);
}

void ZtsiHandle::checkDeviceRegisterStatus() {
  logDebug("ZtsiHandle::checkDeviceRegisterStatus,检查设备注册状态.");
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  for (const auto &[strId, device] : m_devices) {
    if (device.nRegisterStatus == kNotRegistered)
      registerDevice(device);
  }
}

void ZtsiHandle::markAllUnregistered() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  for (auto &entry : m_devices)
    entry.second.nRegisterStatus = kNotRegistered;
}

bool ZtsiHandle::noDevices() const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_devices.empty();
}

std::optional<ProxyDevice> ZtsiHandle::device(const std::string &strId) const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  auto it = m_devices.find(strId);
  if (it == m_devices.end())
    return std::nullopt;
  return it->second;
}

bool ZtsiHandle::listedVdt(int nVdt) const {
  return std::find(m_data.vdtList.begin(), m_data.vdtList.end(), nVdt) != m_data.vdtList.end();
}

bool ZtsiHandle::isProxyDevice(const std::string &strId) const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  auto it = m_devices.find(strId);
  return it != m_devices.end() && listedVdt(it->second.nVdt);
}

void ZtsiHandle::registerDevice(const ProxyDevice &device) {
  logInfo("ZtsiHandle::registerDevice,注册代理设备,strId=%s,nVdt=%d", device.strId.c_str(), device.nVdt);
  ProxyDevice current = device;
  current.strClientId = m_data.localId();
  Json::Value body = deviceBody(current);
  body["devId"] = device.strId;
  body["sn"] = ++m_nRegisterCounter;
  m_link.sendCommand(kCmdRegisterDevice, body);
}

int ZtsiHandle::registerDeviceResult(const Json::Value &body) {
  std::string strDevId;
  std::string strData;
  int nSn = 0;
  int nCode = 0;
  readText(body, "devId", strDevId);
  readText(body, "data", strData);
  readInt(body, "sn", nSn);
  readInt(body, "code", nCode);
  logInfo("ZtsiHandle::registerDeviceResult,注册设备结果,strDevId=%s,nSn=%d,nCode=%d,strData=%s", strDevId.c_str(),
          nSn, nCode, strData.c_str());
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  auto it = m_devices.find(strDevId);
  if (it == m_devices.end()) {
    logWarn("ZtsiHandle::registerDeviceResult,注册设备结果,此设备未找到,strDevId=%s", strDevId.c_str());
    return 0;
  }
  it->second.nRegisterStatus = nCode == 0 ? kRegistered : kNotRegistered;
  return 0;
}

void ZtsiHandle::ztsiFindDevicesHandler(const char *pstrDevId, int nSn, const DeviceInfo *pInfo) {
  if (pInfo == nullptr) {
    logError("ZtsiHandle::ztsiFindDevicesHandler,ZTSI设备查找上报数据异常!!!!!!,devicePID=%s,nSN=%d,pDeviceInfo=%p",
             printable(pstrDevId), nSn, static_cast<const void *>(pInfo));
    return;
  }
  ProxyDevice device;
  device.strId = fieldText(pInfo->id, sizeof(pInfo->id));
  device.nType = pInfo->type;
  device.nVdt = pInfo->vdt;
  device.strName = fieldText(pInfo->name, sizeof(pInfo->name));
  device.strPid = fieldText(pInfo->pid, sizeof(pInfo->pid));
  device.strDesc = fieldText(pInfo->desc, sizeof(pInfo->desc));
  device.strModel = fieldText(pInfo->model, sizeof(pInfo->model));
  logDebug("ZtsiHandle::ztsiFindDevicesHandler,ZTSI设备查找,Pid=%s,nSN=%d,id=%s,type=%d,vdt=%d,name=%s,pid=%s,"
           "desc=%s,model=%s",
           printable(pstrDevId), nSn, device.strId.c_str(), device.nType, device.nVdt, device.strName.c_str(),
           device.strPid.c_str(), device.strDesc.c_str(), device.strModel.c_str());
  if (!listedVdt(device.nVdt)) {
    logWarn("ZtsiHandle::ztsiFindDevicesHandler,忽略非代理设备,id=%s,vdt=%d", device.strId.c_str(), device.nVdt);
    return;
  }
  logInfo("ZtsiHandle::ztsiFindDevicesHandler,添加代理设备,id=%s,vdt=%d", device.strId.c_str(), device.nVdt);
  device.strClientId = m_data.localId();
  device.nRegisterStatus = kNotRegistered;
  {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_devices[device.strId] = device;
  }
  registerDevice(device);
}

void ZtsiHandle::answer(int nAnswerCmd, const char *pstrDevId, int nSn, const char *pData, int nLen) {
  CallbackName name = callbackName(nAnswerCmd);
  logDebug("ZtsiHandle::%s,ZTSI的%s回调数据,pstrDevId=%s,nSN=%d,pData=%p,nDataLen=%d", name.pstrMember,
           name.pstrWords, printable(pstrDevId), nSn, static_cast<const void *>(pData), nLen);
  if (pstrDevId == nullptr) {
    logError("ZtsiHandle::%s,ZTSI的%s回调数据异常!!!!!!", name.pstrMember, name.pstrWords);
    return;
  }
  if (!isProxyDevice(pstrDevId))
    return;
  std::string strText = pData != nullptr && nLen > 0 ? std::string(pData, static_cast<size_t>(nLen)) : "";
  Answer result = deviceAnswer(strText);
  Json::Value body(Json::objectValue);
  body["devId"] = pstrDevId;
  body["sn"] = nSn;
  body["code"] = result.nCode;
  body["data"] = result.strText;
  m_link.sendCommand(nAnswerCmd, body);
}

void ZtsiHandle::report(int nReportCmd, const char *pstrDevId, int nSn, const char *pData, int nLen) {
  CallbackName name = callbackName(nReportCmd);
  logDebug("ZtsiHandle::%s,ZTSI设备%s,pstrDevId=%s,nSN=%d,pData=%p,nDataLen=%d", name.pstrMember, name.pstrWords,
           printable(pstrDevId), nSn, static_cast<const void *>(pData), nLen);
  if (pstrDevId == nullptr || pData == nullptr || nLen <= 0) {
    logError("ZtsiHandle::%s,ZTSI设备%s参数异常!!!!!!", name.pstrMember, name.pstrWords);
    return;
  }
  if (!isProxyDevice(pstrDevId))
    return;
  Json::Value body(Json::objectValue);
  body["devId"] = pstrDevId;
  body["sn"] = nSn;
  body["data"] = std::string(pData, static_cast<size_t>(nLen));
  m_link.sendCommand(nReportCmd, body);
}

void ZtsiHandle::_ztsiFindDevicesHandler(const char *pstrDevId, int nSn, const DeviceInfo *pInfo, void *pUser) {
  guarded(__func__, [&] {
    if (pUser == nullptr)
      return logNullUser(__func__);
    static_cast<ZtsiHandle *>(pUser)->ztsiFindDevicesHandler(pstrDevId, nSn, pInfo);
  });
}

// The answer and report entries differ only in the member they stand for.
#define ZT_PROXY_ZTSI_ENTRY(entry, call, cmd)                                                          \
  void ZtsiHandle::entry(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser) {           \
    guarded(#entry, [&] {                                                                                      \
      if (pUser == nullptr)                                                                                    \
        return logNullUser(#entry);                                                                            \
      static_cast<ZtsiHandle *>(pUser)->call(cmd, pstrDevId, nSn, pData, nLen);                                \
    });                                                                                                        \
  }

ZT_PROXY_ZTSI_ENTRY(_ztsiSetParamCallback, answer, kCmdSetParamCallback)
ZT_PROXY_ZTSI_ENTRY(_ztsiGetParamCallback, answer, kCmdGetParamCallback)
ZT_PROXY_ZTSI_ENTRY(_ztsiCtrlCallback, answer, kCmdCtrlCallback)
ZT_PROXY_ZTSI_ENTRY(_ztsiQryStatusCallback, answer, kCmdQryStatusCallback)
ZT_PROXY_ZTSI_ENTRY(_ztsiDataCallback, report, kCmdReportDataCallback)
ZT_PROXY_ZTSI_ENTRY(_ztsiStatusCallback, report, kCmdReportStatusCallback)
ZT_PROXY_ZTSI_ENTRY(_ztsiEventCallback, report, kCmdReportEventCallback)

#undef ZT_PROXY_ZTSI_ENTRY

} // namespace zt::proxy
