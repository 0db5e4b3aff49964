#include "ztdm_handle.h"

#include "answer_text.h"
#include "callback_guard.h"
#include "command_table.h"
#include "instance_options.h"
#include "logger.h"
#include "message_fields.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace zt::proxy {

struct ZtdmHandle::RequestKind {
  const char *pstrMember;
  const char *pstrWords;
  int nRequestCmd;
  int nAnswerCmd;
};

namespace {


// ztdm's entry points carry no user value: they reach the one initialised object.
std::atomic<ZtdmHandle *> g_pActive{nullptr};

int setConfigEntry(const DeviceInfo *pDevice, const char *pData, int nLen, int nSn) {
  return guarded(__func__, -1, [&] {
    ZtdmHandle *pHandle = g_pActive.load();
    return pHandle != nullptr ? pHandle->ztdmDrvSetConfig(pDevice, pData, nLen, nSn) : -1;
  });
}

int getConfigEntry(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  return guarded(__func__, -1, [&] {
    ZtdmHandle *pHandle = g_pActive.load();
    return pHandle != nullptr ? pHandle->ztdmDrvGetConfig(pDevice, pOut, pnOutLen, nSn) : -1;
  });
}

int ctrlEntry(const DeviceInfo *pDevice, const char *pData, int nLen, char *pOut, int *pnOutLen, int nSn) {
  return guarded(__func__, -1, [&] {
    ZtdmHandle *pHandle = g_pActive.load();
    return pHandle != nullptr ? pHandle->ztdmDrvDevCtrl(pDevice, pData, nLen, pOut, pnOutLen, nSn) : -1;
  });
}

int qryStatusEntry(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  return guarded(__func__, -1, [&] {
    ZtdmHandle *pHandle = g_pActive.load();
    return pHandle != nullptr ? pHandle->ztdmDrvGetStatus(pDevice, pOut, pnOutLen, nSn) : -1;
  });
}

const DriverCallbacks kDriverCallbacks{setConfigEntry, getConfigEntry, ctrlEntry, qryStatusEntry};

// Copies at most the buffer's length (no terminating zero) and sets the length to the count.
void writeOut(char *pOut, int *pnOutLen, const std::string &strText) {
  if (pOut == nullptr || pnOutLen == nullptr)
    return;
  size_t nCopy = std::min(strText.size(), static_cast<size_t>(std::max(*pnOutLen, 0)));
  std::memcpy(pOut, strText.data(), nCopy);
  *pnOutLen = static_cast<int>(nCopy);
}

void copyField(char *pField, size_t nMaxChars, const std::string &strText) {
  std::memcpy(pField, strText.data(), std::min(strText.size(), nMaxChars));
}

std::string deviceId(const DeviceInfo *pDevice) { return std::string(pDevice->id, strnlen(pDevice->id, sizeof(pDevice->id))); }

} // namespace

ZtdmHandle::ZtdmHandle(GlobalData &data, LinkSender &link, std::chrono::milliseconds ackTimeout)
    : m_data(data), m_link(link), m_ackTimeout(ackTimeout) {}

ZtdmHandle::~ZtdmHandle() { release(); }

bool ZtdmHandle::init() {
  logInfo("ZtdmHandle::init,begin");
  if (m_pZtdmHandle != nullptr) {
    logWarn("ZtdmHandle::init,is inited,m_pZtdmHandle=%p", static_cast<void *>(m_pZtdmHandle));
    return true;
  }
  ZtModuleInfo info{};
  ztdm_ModuleInfo(&info);
  logInfo("ZtdmHandle::init,ztdm_ModuleInfo,moduleName:%s,moduleType:%s,compileTime:%s,ver:%s", info.szModuleName,
          info.szModuleType, info.szBuildTime, info.szVersion);
  zt::dm::InstanceOptions options;
  options.bConcurrentDevices = true;
  g_pActive = this;
  m_pZtdmHandle = zt::dm::createInstance(m_data.brokerAddress().c_str(), options);
  if (m_pZtdmHandle == nullptr) {
    g_pActive = nullptr;
    logError("ZtdmHandle::init,ztdm_Create,2,failed");
    return false;
  }
  logDebug("ZtdmHandle::init,m_pZtdmHandle=%p", static_cast<void *>(m_pZtdmHandle));
  logInfo("ZtdmHandle::init,end");
  return true;
}

void ZtdmHandle::release() {
  if (m_pZtdmHandle == nullptr)
    return;
  logInfo("ZtdmHandle::release,begin,m_pZtdmHandle=%p", static_cast<void *>(m_pZtdmHandle));
  // Requests still waiting would hold ztdm_Destroy for their whole time-out.
  {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (const auto &entry : m_devices)
      m_acks.abandonClient(entry.second.strClientId);
  }
  ztdm_Destroy(m_pZtdmHandle);
  m_pZtdmHandle = nullptr;
  g_pActive = nullptr;
  logInfo("ZtdmHandle::release,end");
}

bool ZtdmHandle::operate(int nCmd, const Json::Value &head, const Json::Value &body) {
  MessageFields fields;
  if (!readMessageFields(head, body, fields)) {
    logError("ZtdmHandle::operate,消息成员类型错误,丢弃,nCmd=0x%04x(%s)", nCmd, commandName(nCmd));
    return false;
  }
  logDebug("ZtdmHandle::operate,执行代理操作[%s],nCmd=0x%04x,strDevId=%s,nSn=%d,strSeqId=%s,strData=\n%s",
           commandName(nCmd), nCmd, fields.strDevId.c_str(), fields.nSn, fields.strSeqId.c_str(),
           fields.strData.c_str());
  const char *pstrDevId = fields.strDevId.c_str();
  const char *pData = fields.strData.c_str();
  int nLen = static_cast<int>(fields.strData.size());
  int nRet = 0;
  switch (nCmd) {
  case kCmdRegisterDevice:
    nRet = registerDevice(fields.strSeqId, body);
    break;
  case kCmdReportDataCallback:
    nRet = ztdm_ReportData(m_pZtdmHandle, pstrDevId, fields.nSn, pData, nLen);
    break;
  case kCmdReportStatusCallback:
    nRet = ztdm_ReportStatus(m_pZtdmHandle, pstrDevId, fields.nSn, pData, nLen);
    break;
  case kCmdReportEventCallback:
    nRet = ztdm_ReportEvent(m_pZtdmHandle, pstrDevId, fields.nSn, pData, nLen);
    break;
  case kCmdSetParamCallback:
  case kCmdGetParamCallback:
  case kCmdCtrlCallback:
  case kCmdQryStatusCallback:
    recvAckData(makeAckId(fields.strDevId, nCmd, fields.nSn), AckTable::Reply{fields.nCode, fields.strData});
    return true;
  default:
    logWarn("ZtdmHandle::operate,执行代理操作异常，遇到未知的操作,nCmd=0x%04x(%s)", nCmd, commandName(nCmd));
    return true;
  }
  if (nRet == 0)
    return true;
  logError("ZtdmHandle::operate,执行代理操作[%s]失败,nRet=%d", commandName(nCmd), nRet);
  return false;
}

int ZtdmHandle::registerDevice(const std::string &strSeqId, const Json::Value &body) {
  ProxyDevice device;
  int nSn = 0;
  if (!readDeviceBody(body, device) || !readInt(body, "sn", nSn)) {
    logError("ZtdmHandle::registerDevice,注册设备消息成员类型错误,丢弃");
    return -1;
  }
  logInfo("ZtdmHandle::registerDevice,注册设备,strId=%s,nType=%d,nVdt=%d,strName=%s,strPid=%s,strDesc=%s,"
          "strModel=%s,strClientId=%s",
          device.strId.c_str(), device.nType, device.nVdt, device.strName.c_str(), device.strPid.c_str(),
          device.strDesc.c_str(), device.strModel.c_str(), device.strClientId.c_str());
  Json::Value answer(Json::objectValue);
  answer["devId"] = device.strId;
  answer["sn"] = nSn;
  int nResult = 0;
  int nRet = ztdm_RegisterDriver(m_pZtdmHandle, device.nVdt, &kDriverCallbacks);
  if (nRet != 0) {
    logError("ZtdmHandle::registerDevice,注册设备驱动失败!!nRet=%d", nRet);
    answer["code"] = -1;
    answer["data"] = "注册设备驱动失败！";
    nResult = 255;
  } else {
    DeviceInfo info{};
    copyField(info.id, 35, device.strId);
    info.type = device.nType;
    info.vdt = device.nVdt;
    copyField(info.name, 63, device.strName);
    copyField(info.pid, 35, device.strPid);
    copyField(info.desc, 127, device.strDesc);
    copyField(info.model, 31, device.strModel);
    nRet = ztdm_RegisterDevice(m_pZtdmHandle, &info);
    if (nRet != 0) {
      logError("ZtdmHandle::registerDevice,注册设备失败!!nRet=%d", nRet);
      answer["code"] = -2;
      answer["data"] = "注册设备失败！";
      nResult = 254;
    } else {
      std::lock_guard<std::recursive_mutex> lock(m_mutex);
      m_devices[device.strId] = device;
      answer["code"] = 0;
      answer["data"] = "注册设备成功。";
    }
  }
  m_link.sendCommandTo(device.strClientId, kCmdRegisterDevice, 1, answer, strSeqId);
  return nResult;
}

void ZtdmHandle::clearClientId(const std::string &strSocketId) {
  if (strSocketId.empty())
    return;
  {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (auto &[strId, device] : m_devices) {
      if (device.strClientId != strSocketId)
        continue;
      device.strClientId.clear();
      logInfo("ZtdmHandle::clearClientId,设备与服务断开连接,清除strClientId=[%s],strId=[%s],nVdt=%d,nType=%d,"
              "strName=%s,strPid=%s,strDesc=%s,strModel=%s,strSeqId=%s",
              strSocketId.c_str(), strId.c_str(), device.nVdt, device.nType, device.strName.c_str(),
              device.strPid.c_str(), device.strDesc.c_str(), device.strModel.c_str(), device.strSeqId.c_str());
    }
  }
  m_acks.abandonClient(strSocketId);
}

std::string ZtdmHandle::getClientId(const std::string &strDevId) const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  auto it = m_devices.find(strDevId);
  return it == m_devices.end() ? std::string() : it->second.strClientId;
}

void ZtdmHandle::recvAckData(const std::string &strAckId, const AckTable::Reply &reply) {
  if (m_acks.receive(strAckId, reply))
    logDebug("ZtdmHandle::recvAckData,收到应答数据,strAckId=%s", strAckId.c_str());
  else
    logWarn("ZtdmHandle::recvAckData,未找到此AckID的ACK数据!!");
}

int ZtdmHandle::proxyRequest(const RequestKind &kind, const DeviceInfo *pDevice, const Json::Value &data,
                             char *pOut, int *pnOutLen, int nSn) {
  std::string strDevId = deviceId(pDevice);
  std::string strClientId = getClientId(strDevId);
  if (strClientId.empty()) {
    logError("ZtdmHandle::%s,驱动%s失败，获取设备(%s)的通信ID失败!!", kind.pstrMember, kind.pstrWords,
             strDevId.c_str());
    writeOut(pOut, pnOutLen, "proxy not find devId [" + strDevId + "] client id.");
    return -1;
  }
  std::string strAckId = makeAckId(strDevId, kind.nAnswerCmd, nSn);
  m_acks.add(strAckId, strClientId);
  logDebug("ZtdmHandle::addAckData,添加AckId=%s", strAckId.c_str());
  Json::Value body(Json::objectValue);
  body["devId"] = strDevId;
  body["sn"] = nSn;
  body["data"] = data;
  auto deleteAckData = [&] {
    m_acks.remove(strAckId);
    logDebug("ZtdmHandle::deleteAckData,删除AckId=%s", strAckId.c_str());
  };
  if (!m_link.sendCommandTo(strClientId, kind.nRequestCmd, 0, body)) {
    logError("ZtdmHandle::%s,驱动%s失败，发送数据失败!!", kind.pstrMember, kind.pstrWords);
    deleteAckData();
    writeOut(pOut, pnOutLen, "proxy send data failed.");
    return -1;
  }
  logDebug("ZtdmHandle::waitAckData,等待AckId=%s", strAckId.c_str());
  AckTable::Reply reply;
  AckTable::Outcome outcome = m_acks.wait(strAckId, m_ackTimeout, reply);
  deleteAckData();
  if (outcome != AckTable::Outcome::Answered) {
    if (outcome == AckTable::Outcome::TimedOut)
      logWarn("ZtdmHandle::waitAckData,等待超时!!! AckId=%s", strAckId.c_str());
    logError("ZtdmHandle::%s,驱动%s失败，等待数据应答失败!!", kind.pstrMember, kind.pstrWords);
    writeOut(pOut, pnOutLen,
             outcome == AckTable::Outcome::TimedOut ? "proxy recv data timeout." : "proxy client disconnected.");
    return -1;
  }
  logDebug("ZtdmHandle::%s,驱动%s完成!!", kind.pstrMember, kind.pstrWords);
  Answer answer = linkAnswer(reply.nCode, reply.strData);
  writeOut(pOut, pnOutLen, answer.strText);
  return answer.nCode;
}

int ZtdmHandle::ztdmDrvSetConfig(const DeviceInfo *pDevice, const char *pData, int nLen, int nSn) {
  logDebug("ZtdmHandle::ztdmDrvSetConfig,驱动设置参数,devObj=%p,data=%p,len=%d,sn=%d",
           static_cast<const void *>(pDevice), static_cast<const void *>(pData), nLen, nSn);
  static const RequestKind kind{"ztdmDrvSetConfig", "设置参数", kCmdSetParam, kCmdSetParamCallback};
  if (pDevice == nullptr || pData == nullptr || nLen <= 0) {
    logError("ZtdmHandle::ztdmDrvSetConfig,驱动设置参数失败，参数异常!!");
    return -1;
  }
  return proxyRequest(kind, pDevice, std::string(pData, static_cast<size_t>(nLen)), nullptr, nullptr, nSn);
}

int ZtdmHandle::ztdmDrvGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  logDebug("ZtdmHandle::ztdmDrvGetConfig,驱动读取参数,devObj=%p,data=%p,len=%p,sn=%d",
           static_cast<const void *>(pDevice), static_cast<void *>(pOut), static_cast<void *>(pnOutLen), nSn);
  static const RequestKind kind{"ztdmDrvGetConfig", "读取参数", kCmdGetParam, kCmdGetParamCallback};
  if (pDevice == nullptr || pOut == nullptr || pnOutLen == nullptr) {
    logError("ZtdmHandle::ztdmDrvGetConfig,驱动读取参数失败，参数异常!!");
    return -1;
  }
  return proxyRequest(kind, pDevice, Json::Value(), pOut, pnOutLen, nSn);
}

int ZtdmHandle::ztdmDrvDevCtrl(const DeviceInfo *pDevice, const char *pData, int nLen, char *pOut, int *pnOutLen,
                               int nSn) {
  logDebug("ZtdmHandle::ztdmDrvDevCtrl,驱动操控,devObj=%p,data=%p,len=%d,out=%p,outlen=%p,sn=%d",
           static_cast<const void *>(pDevice), static_cast<const void *>(pData), nLen, static_cast<void *>(pOut),
           static_cast<void *>(pnOutLen), nSn);
  static const RequestKind kind{"ztdmDrvDevCtrl", "操控", kCmdCtrl, kCmdCtrlCallback};
  if (pDevice == nullptr || pData == nullptr || nLen <= 0 || pOut == nullptr || pnOutLen == nullptr) {
    logError("ZtdmHandle::ztdmDrvDevCtrl,驱动操控失败，参数异常!!");
    return -1;
  }
  return proxyRequest(kind, pDevice, std::string(pData, static_cast<size_t>(nLen)), pOut, pnOutLen, nSn);
}

int ZtdmHandle::ztdmDrvGetStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  logDebug("ZtdmHandle::ztdmDrvGetStatus,驱动查询状态,devObj=%p,data=%p,len=%p,sn=%d",
           static_cast<const void *>(pDevice), static_cast<void *>(pOut), static_cast<void *>(pnOutLen), nSn);
  static const RequestKind kind{"ztdmDrvGetStatus", "查询状态", kCmdQryStatus, kCmdQryStatusCallback};
  if (pDevice == nullptr || pOut == nullptr || pnOutLen == nullptr) {
    logError("ZtdmHandle::ztdmDrvGetStatus,驱动查询状态失败，参数异常!!");
    return -1;
  }
  return proxyRequest(kind, pDevice, Json::Value(), pOut, pnOutLen, nSn);
}

} // namespace zt::proxy
