#include "channel.h"

#include "command_code.h"
#include "device_info_text.h"
#include "response_object.h"
#include "topic.h"
#include "ztdm_guard.h"
#include "ztdm_log.h"

namespace zt::dm {

namespace {

constexpr int kPublishQos = 2;
constexpr int kSubscribeQos = 1;
// Only this much of the devId segment of a received topic is used.
constexpr size_t kMaxDevIdLength = 64;

} // namespace

Channel::~Channel() {
  close();
}

void Channel::setRecvCallback(RequestHandler pHandler, void *pContext) {
  m_recvCB = pHandler;
  m_pRecvContext = pContext;
  ZTDM_LOG_PROGRESS("setRecvCallback m_recvCB = 0x%p ", reinterpret_cast<void *>(pHandler));
}

int Channel::init(const std::string &strHost, int nPort) {
  if (m_bInited) {
    ZTDM_LOG_PROGRESS("IsInited");
    return 0;
  }
  m_bInited = true;
  BuslineHandle *pHandle =
      busline_init(strHost.c_str(), nPort, nullptr, 1, 5, 1, &Channel::onConnect, &Channel::onMessage, this);
  if (pHandle == nullptr) {
    ZTDM_LOG_ERROR("Create busline client error! ");
    return -1;
  }
  m_pHandle = pHandle;
  busline_set_module(pHandle, "ztdm");
  ZTDM_LOG_PROGRESS("Channel inited, broker addr [%s:%d] ", strHost.c_str(), nPort);
  return 0;
}

void Channel::close() {
  BuslineHandle *pHandle = m_pHandle.exchange(nullptr);
  if (pHandle != nullptr) {
    busline_exit(pHandle);
  }
}

bool Channel::subscribe(const std::string &strTopic) {
  bool bOk = busline_subscribe(m_pHandle, strTopic.c_str(), kSubscribeQos) == 0;
  ZTDM_LOG(bOk ? ZTLOG_LEVEL_PROGRESS : ZTLOG_LEVEL_ERROR, "Subscribe %s Topic: %s",
           bOk ? "Success" : "Failed", strTopic.c_str());
  return bOk;
}

bool Channel::unsubscribe(const std::string &strTopic) {
  bool bOk = busline_unsubscribe(m_pHandle, strTopic.c_str()) == 0;
  ZTDM_LOG(bOk ? ZTLOG_LEVEL_PROGRESS : ZTLOG_LEVEL_ERROR, "Unsubscribe %s Topic: %s",
           bOk ? "Success" : "Failed", strTopic.c_str());
  return bOk;
}

std::string Channel::upTopic(const std::string &strDevId, int nCmd) const {
  DeviceInfo device;
  if (!m_driverManager.findDevice(strDevId, device)) {
    ZTDM_LOG_ERROR("Can not find device, deviceid=%s", strDevId.c_str());
    return std::string();
  }
  return protocol::deviceTopic(protocol::Direction::Up, m_driverManager.runModel(), nCmd, protocol::fieldText(device.pid), device.vdt,
                     strDevId);
}

int Channel::publish(const std::string &strTopic, const char *pData, int nLength, int nSn, int nCmd) {
  if (m_nConnectState != 0) {
    ZTDM_LOG_ERROR("busline did not connected to broker!");
  }
  return busline_publish(m_pHandle, strTopic.c_str(), pData, nLength, kPublishQos, 0,
                         static_cast<uint32_t>(nSn), nCmd, "");
}

bool Channel::publishNotify(const std::string &strDevId, int nCmd, int nSn, const char *pData, int nLength) {
  std::string strTopic = upTopic(strDevId, nCmd);
  if (strTopic.empty()) {
    return false;
  }
  if (nSn <= 0) {
    nSn = m_snCounter.nextSn();
  }
  int nRet = publish(strTopic, pData, nLength, nSn, nCmd);
  ZTDM_LOG_PROGRESS("notify ==> PUBLIC ret=[%d] id=[%s] cmd=[%d] sn=[%d] len=[%d]", nRet, strDevId.c_str(),
                    nCmd, nSn, nLength);
  return nRet == 0;
}

bool Channel::publishTestCase(int nVdt, int nSn, const char *pData, int nLength) {
  if (nSn <= 0) {
    nSn = m_snCounter.nextSn();
  }
  int nRet = publish(protocol::testCaseTopic(nVdt), pData, nLength, nSn, protocol::kCmdRegTestCase);
  ZTDM_LOG_PROGRESS("notify ==> PUBLIC ret=[%d] id=[%d] cmd=[%d] sn=[%d] len=[%d]", nRet, nVdt,
                    protocol::kCmdRegTestCase, nSn, nLength);
  return nRet == 0;
}

bool Channel::publishResponse(const ResponseRecord &record, int nSn) {
  std::string strTopic = upTopic(record.strDevId, record.nCmd);
  if (strTopic.empty()) {
    return false;
  }
  std::string strBody = protocol::responseBody(record.nCmd, record.nCode, record.pData, record.nLength);
  int nRet = publish(strTopic, strBody.data(), static_cast<int>(strBody.size()), nSn, record.nCmd);
  ZTDM_LOG_PROGRESS("response ==> PUBLIC ret=[%d] id=[%s] cmd=[%d] sn=[%d] len=[%d]", nRet,
                    record.strDevId.c_str(), record.nCmd, nSn, record.nLength);
  return nRet == 0;
}

void Channel::onConnect(int nStatus, void *pUserData) {
  ztdmGuarded("Channel::onConnect", [&] {
    static_cast<Channel *>(pUserData)->m_nConnectState = nStatus;
    if (nStatus == 0) {
      ZTDM_LOG_PROGRESS("ZTDM connecte success.... ");
    } else {
      ZTDM_LOG_ERROR("ZTDM connecte faild, connectStatus = %d", nStatus);
    }
  });
}

void Channel::onMessage(const char *pstrTopic, const void *pMessage, int nSize, int /*nQos*/, int /*nRetain*/,
                        uint32_t uSN, int32_t /*nType*/, const char * /*pstrResponseTopic*/,
                        void *pUserData) {
  ztdmGuarded("Channel::onMessage",
              [&] { static_cast<Channel *>(pUserData)->handleMessage(pstrTopic, pMessage, nSize, uSN); });
}

void Channel::handleMessage(const char *pstrTopic, const void *pMessage, int nSize, uint32_t uSN) {
  std::vector<std::string> vecSegments = protocol::splitTopic(pstrTopic != nullptr ? pstrTopic : "");
  if (vecSegments.size() < protocol::kTopicSegmentCount) {
    ZTDM_LOG_ERROR("Invalid topic, dropped: %s", pstrTopic != nullptr ? pstrTopic : "");
    return;
  }
  std::string strDevId = vecSegments[protocol::kSegDevId].substr(0, kMaxDevIdLength);
  const std::string &strCommand = vecSegments[protocol::kSegCommand];
  int nCmd = protocol::commandCodeOf(strCommand);
  if (nCmd == -1) {
    ZTDM_LOG_ERROR("Can not find command=[%s] cmd=[%d]", strCommand.c_str(), nCmd);
    return;
  }
  int nSn = static_cast<int>(uSN);
  ZTDM_LOG_PROGRESS("<== RecvMsg id=%s cmd=[%d] sn=[%d] len=[%d]", strDevId.c_str(), nCmd, nSn, nSize);
  if (m_recvCB == nullptr) {
    ZTDM_LOG_ERROR("m_recvCB is NULL");
    return;
  }
  bool bHasData = pMessage != nullptr && nSize > 0;
  m_recvCB(strDevId, nSn, nCmd, bHasData ? static_cast<const char *>(pMessage) : nullptr,
           bHasData ? nSize : 0, m_pRecvContext);
}

} // namespace zt::dm
