#include "ztip_handle.h"

#include "command_table.h"
#include "envelope.h"
#include "link_address.h"
#include "logger.h"
#include "message_fields.h"
#include "zt_common.h"
#include "ztdm_handle.h"
#include "ztip_router.h"
#include "ztsi_handle.h"

#include <chrono>
#include <cstdlib>
#include <exception>

namespace zt::proxy {
namespace {

int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

ZtipHandle::ZtipHandle(GlobalData &data, LinkTimings timings) : m_data(data), m_timings(timings) {}

ZtipHandle::~ZtipHandle() { release(); }

void ZtipHandle::init() {
  logInfo("ZtipHandle::init,begin");
  ZtModuleInfo info{};
  ztIP_Moduleinfo(&info);
  logInfo("ZtipHandle::init,ZTModuleInfo,moduleName:%s,moduleType:%s,compileTime:%s,ver:%s", info.szModuleName,
          info.szModuleType, info.szBuildTime, getZTIPVersion());
  uint8_t uResult = ztip_router::attach(this, m_data.serverMode());
  m_bAttached = true;
  logInfo("ZtipHandle::init,ztIP_Init,chRet:%d", uResult);
  {
    std::lock_guard<std::mutex> lock(m_runMutex);
    m_bRun = true;
  }
  m_thread = std::thread(&ZtipHandle::routine, this);
  logInfo("ZtipHandle::init,end");
}

void ZtipHandle::release() {
  if (!m_bAttached)
    return;
  logInfo("ZtipHandle::release,begin");
  {
    std::lock_guard<std::mutex> lock(m_runMutex);
    m_bRun = false;
  }
  m_runCondition.notify_all();
  if (m_thread.joinable())
    m_thread.join();
  {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_bConnected = false;
    m_bAttempted = false;
  }
  // Another link object of this process may keep ZTIP running: close this one's socket.
  int nSocketId = std::atoi(m_data.localId().c_str());
  if (nSocketId > 0)
    ztIP_Disconnect(static_cast<uint16_t>(nSocketId));
  ztip_router::detach(this);
  m_bAttached = false;
  logInfo("ZtipHandle::release,end");
}

bool ZtipHandle::connected() const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_bConnected;
}

void ZtipHandle::routine() {
  logInfo("ZtipHandle::routine,begin");
  std::unique_lock<std::mutex> lock(m_runMutex);
  while (m_bRun) {
    if (m_runCondition.wait_for(lock, m_timings.tick, [this] { return !m_bRun; }))
      break;
    lock.unlock();
    checkConnect();
    sendHeartbeat();
    lock.lock();
  }
  logInfo("ZtipHandle::routine,end");
}

void ZtipHandle::checkConnect() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (m_bConnected)
    return;
  uint64_t uNow = zt::tickMs();
  if (m_bAttempted && uNow - m_uLastAttemptMs < static_cast<uint64_t>(m_timings.retry.count()))
    return;
  m_bAttempted = true;
  m_uLastAttemptMs = uNow;
  bool bServer = m_data.serverMode();
  LinkAddress address = splitLinkAddress(bServer ? m_data.strLocalAddr : m_data.strRemoteAddr);
  const char *pstrIp = address.strIp.empty() ? nullptr : address.strIp.c_str();
  int nPort = std::atoi(address.strPort.c_str());
  uint16_t uSocketId = 0;
  if (bServer) {
    logInfo("ZtipHandle::checkConnect,ztIP_StartTCPServer,strIP=%s,strPort=%s", address.strIp.c_str(),
            address.strPort.c_str());
    uint8_t uResult = ztIP_StartTCPServer(&uSocketId, ztip_router::onReceive, pstrIp, nPort);
    if (uResult == 0x01) {
      m_data.setLocalId(std::to_string(uSocketId));
      m_bConnected = true;
      logInfo("ZtipHandle::checkConnect,ztIP_StartTCPServer,侦听成功,更新strLocalId:%s", m_data.localId().c_str());
    } else {
      m_data.setLocalId("");
      m_bConnected = false;
      logError("ZtipHandle::checkConnect,ztIP_StartTCPServer,侦听失败!! nRet=0x%02X(%d)", uResult, uResult);
    }
    return;
  }
  logInfo("ZtipHandle::checkConnect,ztIP_StartTCPClient,strIP=%s,strPort=%s", address.strIp.c_str(),
          address.strPort.c_str());
  uint8_t uResult = ztIP_StartTCPClient(&uSocketId, ztip_router::onReceive, pstrIp, nPort);
  if (uResult == 0x01) {
    m_data.setLocalId(std::to_string(uSocketId));
    m_bConnected = true;
    std::this_thread::sleep_for(m_timings.connectPause);
    logInfo("ZtipHandle::checkConnect,ztIP_StartTCPClient,连接成功,更新strLocalId:%s", m_data.localId().c_str());
  } else {
    m_data.setLocalId("");
    m_bConnected = false;
    logError("ZtipHandle::checkConnect,ztIP_StartTCPClient,连接失败!! nRet=0x%02X(%d)", uResult, uResult);
    linkLost();
  }
}

void ZtipHandle::sendHeartbeat() {
  if (m_data.serverMode())
    return;
  uint32_t uTick = m_uTicks++;
  // A heartbeat refused while the link is up (its key exchange not yet done) goes again on
  // the next tick rather than a whole period later.
  bool bRetry = m_bHeartbeatPending && connected();
  if (uTick % static_cast<uint32_t>(m_data.nHeartbeatTimeoutS) != 0 && !bRetry)
    return;
  logDebug("ZtipHandle::sendHeartbeat,发送心跳包.");
  Json::Value body(Json::objectValue);
  body["appId"] = m_data.strClientAppId;
  m_bHeartbeatPending = !sendCommand(kCmdHeartbeat, body);
  if (m_bHeartbeatPending)
    logError("ZtipHandle::sendHeartbeat,发送心跳包失败！");
}

std::string ZtipHandle::buildMessage(int nCmd, int nStatus, const Json::Value &body, const std::string &strSeqId) {
  std::string strId = strSeqId.empty() ? generatedSeqId(nCmd, ++m_uMessageCounter) : strSeqId;
  return buildEnvelope(nCmd, nStatus, body, strId, nowMs());
}

bool ZtipHandle::sendMessage(const std::string &strSocketId, int nCmd, int nStatus, const std::string &strMessage) {
  logDebug("ZtipHandle::sendMessage,strSocketId=[%s],nCmd=0x%04X(%d),nStatus=%d,strMessage=\n%s",
           strSocketId.c_str(), nCmd, nCmd, nStatus, strMessage.c_str());
  long nSocketId = std::strtol(strSocketId.c_str(), nullptr, 10);
  if (nSocketId <= 0 || nSocketId > 0xFFFF) {
    logError("ZtipHandle::sendMessage,nSocketId=%ld", nSocketId);
    return false;
  }
  ZTIP_Head_Para head{};
  head.crypt_mode = 0x030F;
  head.protocol_type = 0x80;
  head.func_code = 0x41;
  head.cmd = static_cast<uint16_t>(nCmd);
  head.status = static_cast<uint16_t>(nStatus);
  head.session_id = ++m_uSessionCounter;
  uint8_t uResult = ztIP_SendBySocketId(static_cast<uint16_t>(nSocketId), &head, 0,
                                        static_cast<int>(strMessage.size()),
                                        reinterpret_cast<const uint8_t *>(strMessage.data()));
  if (uResult != 0x01) {
    logError("ZtipHandle::sendMessage,ZTSendMessage 发送消息失败!! nRet=0x%02X(%d)", uResult, uResult);
    return false;
  }
  return true;
}

bool ZtipHandle::sendCommand(int nCmd, const Json::Value &body, const std::string &strSeqId) {
  return sendMessage(m_data.localId(), nCmd, 0, buildMessage(nCmd, 0, body, strSeqId));
}

bool ZtipHandle::sendCommandTo(const std::string &strSocketId, int nCmd, int nStatus, const Json::Value &body,
                               const std::string &strSeqId) {
  return sendMessage(strSocketId, nCmd, nStatus, buildMessage(nCmd, nStatus, body, strSeqId));
}

void ZtipHandle::onZtipRecvCallback(uint16_t uSocketId, const ZTIP_Head_Para &head, const uint8_t *pData,
                                    uint32_t uLen) {
  std::string strSocketId = std::to_string(uSocketId);
  try {
    std::string strText(reinterpret_cast<const char *>(pData), pData != nullptr ? uLen : 0);
    logDebug("ZtipHandle::onZtipRecvCallback,收到消息,socketId=[%s],len=%u,session_id=%u,message=\n%s",
             strSocketId.c_str(), uLen, head.session_id, strText.c_str());
    handleMessage(strSocketId, strText);
  } catch (const std::exception &e) {
    logError("%s (内部运行异常)try_catch_exception:%s", __func__, e.what());
  } catch (...) {
    logError("%s (内部运行异常)try_catch_exception.", __func__);
  }
}

void ZtipHandle::handleMessage(const std::string &strSocketId, const std::string &strText) {
  ReceivedMessage message;
  if (!parseMessage(strText, message))
    return;
  if (message.nCmd == kCmdHeartbeat) {
    onHeartbeat(strSocketId, message);
  } else if (m_pServerBridge != nullptr) {
    if (message.nCmd == kCmdRegisterDevice && message.body.isObject()) {
      logWarn("ZtipHandle::onZtipRecvCallback,ZTIP通信模式时，替换对方代理发过来的clientId为socketID");
      message.body["clientId"] = strSocketId;
    }
    m_pServerBridge->operate(message.nCmd, message.head, message.body);
  } else if (m_pClientBridge != nullptr) {
    m_pClientBridge->operate(message.nCmd, message.head, message.body);
  }
}

void ZtipHandle::onHeartbeat(const std::string &strSocketId, const ReceivedMessage &message) {
  std::string strSeqId;
  std::string strAppId;
  if (!message.body.isObject() || !readText(message.head, "seqId", strSeqId) ||
      !readText(message.body, "appId", strAppId)) {
    logError("ZtipHandle::onHeartbeat,心跳包格式错误,丢弃,socketId=%s", strSocketId.c_str());
    return;
  }
  if (m_data.serverMode()) {
    logDebug("ZtipHandle::onHeartbeat,收到客户端(%s)(%s)的心跳包，需要应答.", strSocketId.c_str(), strAppId.c_str());
    Json::Value body(Json::objectValue);
    body["appId"] = m_data.serverAppId();
    sendCommandTo(strSocketId, kCmdHeartbeat, 1, body, strSeqId);
    return;
  }
  logDebug("ZtipHandle::onHeartbeat,收到服务端(%s)(%s)的心跳包应答.", strSocketId.c_str(), strAppId.c_str());
  if (m_pClientBridge == nullptr)
    return;
  if (strAppId == m_data.serverAppId()) {
    // A discovery made before the local broker was reached finds nothing: look again while
    // no device is known.
    if (m_pClientBridge->noDevices())
      m_pClientBridge->findDevice();
    m_pClientBridge->checkDeviceRegisterStatus();
    return;
  }
  logInfo("ZtipHandle::onHeartbeat,收到新的服务端AppId:%s，需要重新注册设备!!", strAppId.c_str());
  m_pClientBridge->findDevice();
  m_data.setServerAppId(strAppId);
}

void ZtipHandle::onZtipConnectionNotify(int nType, int nStatus, uint16_t uSocketId, const char *pstrIp, int nPort) {
  logInfo("ZtipHandle::onZtipConnectionNotify,type=%d,status=%d,socketId=%d,destIP=%s,port=%d", nType, nStatus,
          uSocketId, pstrIp != nullptr ? pstrIp : "", nPort);
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (nType == 0 && nStatus == 1) {
    logInfo("ZtipHandle::onZtipConnectionNotify,客户端与服务端连接成功");
    m_bConnected = true;
  } else if (nType == 0 && nStatus == 0) {
    logInfo("ZtipHandle::onZtipConnectionNotify,客户端与服务端断开连接");
    m_bConnected = false;
    linkLost();
  } else if (nType == 1 && nStatus == 1) {
    logInfo("ZtipHandle::onZtipConnectionNotify,服务端接收到新客户端连接");
  } else if (nType == 1 && nStatus == 0) {
    logInfo("ZtipHandle::onZtipConnectionNotify,服务端与客户端的连接断开");
    if (m_pServerBridge != nullptr)
      m_pServerBridge->clearClientId(std::to_string(uSocketId));
  } else {
    logWarn("ZtipHandle::onZtipConnectionNotify,异常数据");
  }
}

void ZtipHandle::linkLost() {
  if (m_pClientBridge != nullptr)
    m_pClientBridge->markAllUnregistered();
}

} // namespace zt::proxy
