#include "channel.h"

#include "command_code.h"
#include "topic.h"
#include "ztsi_dmc.h"
#include "ztsi_guard.h"
#include "ztsi_log.h"

namespace zt::si {

namespace {

constexpr int kRequestQos = 2;
constexpr char kRequestResponseTopic[] = "0";

} // namespace

Channel::~Channel() {
  close();
}

void Channel::setRecvCallback(MessageHandler pHandler, void *pContext) {
  m_pRecvHandler = pHandler;
  m_pRecvContext = pContext;
}

int Channel::init(const std::string &strHost, int nPort) {
  if (m_bInited) {
    ZTSI_LOG_INFO("IsInited");
    return 0;
  }
  m_pSession =
      busline_init(strHost.c_str(), nPort, nullptr, 1, 5, 1, &Channel::onConnect, &Channel::onMessage, this);
  if (m_pSession == nullptr) {
    ZTSI_LOG_ERROR("Create BUSLINE client error! ");
    return -1;
  }
  m_bInited = true;
  busline_set_module(m_pSession, "ztsi");
  ZTSI_LOG_INFO("busline init [%s:%d] this=[%p] ", strHost.c_str(), nPort, static_cast<void *>(this));
  return 0;
}

int Channel::subscribe(const std::string &strTopic) {
  std::lock_guard<std::mutex> lock(m_mutexTopics);
  if (m_setTopics.count(strTopic) != 0) {
    return 0;
  }
  int nRet = busline_subscribe(m_pSession, strTopic.c_str(), 1);
  // busline keeps the subscription even when the call fails and sends it on the next connection.
  if (nRet != -2) {
    m_setTopics.insert(strTopic);
    ++m_nSubscriptions;
  }
  return nRet;
}

size_t Channel::subscriptionCount() const {
  std::lock_guard<std::mutex> lock(m_mutexTopics);
  return m_nSubscriptions;
}

bool Channel::publishRequest(const std::string &strDevId, int nCmd, int nSn, const char *pData, int nLen) {
  std::string strTopic;
  if (nCmd == protocol::kCmdFindDevices) {
    strTopic = protocol::findDevicesRequestTopic(strDevId);
  } else {
    std::optional<FoundDevice> device = m_dmc.findDevice(strDevId);
    if (!device) {
      ZTSI_LOG_ERROR("Can not find device, deviceid=%s", strDevId.c_str());
      return false;
    }
    strTopic = protocol::deviceTopic(protocol::Direction::Down, m_dmc.runModel(), nCmd, device->pid(), device->m_nVdt, strDevId);
  }
  if (m_nConnectState != 0) {
    ZTSI_LOG_ERROR("busline did not connected to broker!");
  }
  int nRet = busline_publish(m_pSession, strTopic.c_str(), pData, nLen, kRequestQos, 0,
                             static_cast<uint32_t>(nSn), nCmd, kRequestResponseTopic);
  ZTSI_LOG_INFO("request ==> PUBLISH ret=[%d] id=[%s] cmd=[%d] sn=[%d] len=[%d]", nRet, strDevId.c_str(),
                nCmd, nSn, nLen);
  return nRet == 0;
}

void Channel::close() {
  if (m_pSession != nullptr) {
    busline_exit(m_pSession);
    m_pSession = nullptr;
  }
}

void Channel::handleMessage(const char *pstrTopic, const char *pData, int nLen, int nSn) {
  std::vector<std::string> vecSegments = protocol::splitTopic(pstrTopic != nullptr ? pstrTopic : "");
  if (!protocol::isWellFormedTopic(vecSegments)) {
    ZTSI_LOG_ERROR("Invailed Topic: %s", pstrTopic != nullptr ? pstrTopic : "");
    return;
  }
  const std::string &strCommand = vecSegments[protocol::kSegCommand];
  int nCmd = protocol::commandCodeOf(strCommand);
  if (nCmd == -1) {
    ZTSI_LOG_ERROR("Unkown command: [%s]", strCommand.c_str());
    return;
  }
  const std::string &strDevId = vecSegments[protocol::kSegDevId];
  ZTSI_LOG_INFO("<== RecvMsg id=[%s] cmd=[%d] sn=[%d] len=[%d]", strDevId.c_str(), nCmd, nSn, nLen);
  if (m_pRecvHandler == nullptr) {
    ZTSI_LOG_ERROR("Channel receive callback is NULL");
    return;
  }
  m_pRecvHandler(strDevId, nSn, nCmd, pData, nLen, m_pRecvContext);
}

void Channel::onConnect(int nStatus, void *pUserData) {
  ztsiGuarded("Channel::onConnect", [&] {
    static_cast<Channel *>(pUserData)->m_nConnectState = nStatus;
    if (nStatus == 0) {
      ZTSI_LOG_INFO("ZTSI connecte success.... ");
    } else {
      ZTSI_LOG_ERROR("ZTSI connecte Failed, status = %d", nStatus);
    }
  });
}

void Channel::onMessage(const char *pstrTopic, const void *pMessage, int nSize, int, int, uint32_t uSN,
                        int32_t, const char *, void *pUserData) {
  ztsiGuarded("Channel::onMessage", [&] {
    static_cast<Channel *>(pUserData)->handleMessage(pstrTopic, static_cast<const char *>(pMessage), nSize,
                                                     static_cast<int>(uSN));
  });
}

} // namespace zt::si
