#include "topicbus_client.h"

#include <cstring>
#include <mqtt_protocol.h>

#include "argument_checks.h"
#include "busline_log.h"
#include "fixed_credentials.h"
#include "mqtt_properties.h"
#include "topicbus_identity.h"
#include "trusted_ca.h"

namespace zt::tb {

namespace {

using zt::bus::logText;

constexpr int kKeepalive = 60;
constexpr int kSessionExpirySeconds = 86400;

zt::bus::SessionStyle topicbusStyle(const void *pHandle) {
  zt::bus::SessionStyle style;
  style.strModule = "Mosquitto";
  style.pLogHandle = pHandle;
  style.bReconnectWaitIsKeepalive = true;
  style.bAcceptHead = false;
  return style;
}

std::string textOrEmpty(const char *pstrText) {
  return pstrText != nullptr ? pstrText : "";
}

struct PropertyListFree {
  void operator()(mosquitto_property *pProps) const { mosquitto_property_free_all(&pProps); }
};
using PropertyList = std::unique_ptr<mosquitto_property, PropertyListFree>;

} // namespace

TopicbusClient::TopicbusClient(const zt::bus::SessionTiming &timing) {
  useTopicbusLog();
  m_pSession = std::make_unique<zt::bus::ZtMosquittoSdk>(timing, topicbusStyle(this));
}

void TopicbusClient::setTls() {
  m_eMode = SecurityMode::Tls;
  BUSLINE_LOG(zt::log::LOG_DEBUG, "topicbus_set_Tls, pHandle=%p", static_cast<void *>(this));
}

void TopicbusClient::setPsk(const char *pstrIdentity, const char *pstrPsk, const char *pstrCiphers) {
  // The key itself never reaches the log.
  BUSLINE_LOG(zt::log::LOG_DEBUG, "topicbus_set_tls_psk,pHandle=%p,pstrIdentity=%s,pstrPSK=%s,pstrCiphers=%s",
              static_cast<void *>(this), logText(pstrIdentity), "******", logText(pstrCiphers));
  m_strPskIdentity = textOrEmpty(pstrIdentity);
  m_strPsk = textOrEmpty(pstrPsk);
  m_strPskCiphers = textOrEmpty(pstrCiphers);
  m_eMode = SecurityMode::Psk;
}

int TopicbusClient::startUp(const StartUpArgs &args) {
  if (!isDottedIpv4(args.pstrIP) || !isValidPort(args.nPort)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "无效的IP地址或端口号.");
    return -2;
  }
  if (!fitsTextLimit(args.pstrSessionId) || !fitsTextLimit(args.pstrUserName) ||
      !fitsTextLimit(args.pstrPassword)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "无效的参数！");
    return -2;
  }
  int nRet = initSession(args);
  if (nRet != 0) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "启动网络循环失败！ret=[%d]", nRet);
    return nRet;
  }
  if (args.bWithWill && args.pstrWillTopic != nullptr) {
    nRet = setWill(args.pstrWillTopic, args.pstrWillMessage, args.nWillRetain);
    if (nRet != 0) {
      return nRet;
    }
  }
  nRet = connect(args.pstrIP, args.nPort);
  if (nRet == -4) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "环境未初始化！ret=[%d]", nRet);
  } else if (nRet != 0) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "启动网络循环失败！ret=[%d]", nRet);
  }
  return nRet;
}

int TopicbusClient::initSession(const StartUpArgs &args) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (m_bInited.load()) {
    return 0;
  }
  m_bInited.store(true);
  BUSLINE_LOG(zt::log::LOG_DEBUG,
              " initSession SessionId=[%s],CleanSession=[%d], ConnectCallback=[%p],RecvMessageCallback=[%p],"
              "UserData=[%p]",
              logText(args.pstrSessionId), args.nCleanSession,
              reinterpret_cast<void *>(args.pConnectCallback),
              reinterpret_cast<void *>(args.pRecvMessageCallback), args.pUserData);
  zt::bus::ZtMosquittoSdk &session = *m_pSession;
  session.setConnectCallback(args.pConnectCallback);
  session.setRecvMessageCallback(args.pRecvMessageCallback);
  session.setUserData(args.pUserData);
  int nRet = session.create(args.pstrSessionId, args.nCleanSession != 0);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " initSession create fail,nRet=[%d],errStr=%s", nRet,
                mosquitto_strerror(nRet));
    return -1;
  }
  nRet = session.setOptionInt(MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " initSession setOptionInt fail,nRet=[%d],errStr=%s", nRet,
                mosquitto_strerror(nRet));
  }
  if (m_eMode == SecurityMode::Tls) {
    BUSLINE_LOG(zt::log::LOG_WARN, "nm_mqtt_init,enable certificate and user authentication");
    // Without the CA there is nothing to connect to safely.
    zt::bus::TlsContext tlsContext = zt::bus::loadTrustedCa("initSession");
    nRet = tlsContext ? session.setTlsContext(tlsContext.get()) : MOSQ_ERR_TLS;
    if (nRet != MOSQ_ERR_SUCCESS) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "initSession, setTls fail,nRet=%d,%s", nRet, mosquitto_strerror(nRet));
      return -1;
    }
    session.setTlsInsecure(true);
    nRet = session.setUserPwd(zt::bus::kFixedUserName, zt::bus::kFixedPassword);
    if (nRet != MOSQ_ERR_SUCCESS) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "initSession, setUserPwd fail,nRet=%d,%s", nRet,
                  mosquitto_strerror(nRet));
      return -1;
    }
    return 0;
  }
  if (m_eMode == SecurityMode::Psk) {
    nRet = session.setTlsPsk(m_strPsk, m_strPskIdentity, m_strPskCiphers);
    if (nRet != MOSQ_ERR_SUCCESS) {
      // A connection without the key would not be the one asked for.
      BUSLINE_LOG(zt::log::LOG_ERROR, " initSession setTlsPsk fail, nRet=[%d], errStr=[%s]", nRet,
                  mosquitto_strerror(nRet));
      return -1;
    }
  }
  nRet = session.setUserPwd(textOrEmpty(args.pstrUserName), textOrEmpty(args.pstrPassword));
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " initSession,setUserNamePasswd fail,nRet=%d,errStr=%s", nRet,
                mosquitto_strerror(nRet));
    return -1;
  }
  return 0;
}

int TopicbusClient::setWill(const char *pstrTopic, const char *pstrMessage, int nRetain) {
  if (!fitsTextLimit(pstrTopic)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "无效的遗嘱主题！");
    return -2;
  }
  if (pstrMessage == nullptr) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "无效的参数！");
    return -2;
  }
  int nSize = int(std::strlen(pstrMessage));
  BUSLINE_LOG(zt::log::LOG_DEBUG,
              " topicbus_set_will,pstrTopic=%s,pMessage=%p,nSize=%d,nQos=%d,nRetain=%d,uSN=%u,nType=%d",
              pstrTopic, static_cast<const void *>(pstrMessage), nSize, 1, nRetain, 0u, 0);
  int nRet = m_pSession->setWill(pstrTopic, nSize, pstrMessage, 1, nRetain != 0, nullptr);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " topicbus_set_will,fail,nRet=%d,%s", nRet, mosquitto_strerror(nRet));
    BUSLINE_LOG(zt::log::LOG_ERROR, "设置遗嘱失败！ret=[%d]", nRet);
    return -3;
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, " topicbus_set_will,nRet=%d", nRet);
  return 0;
}

int TopicbusClient::connect(const char *pstrIP, int nPort) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (!m_bInited.load()) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " topicbus_connect, m_bInited=%d", 0);
    return -4;
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, " topicbus_connect,pstrIP=%s,nPort=%d", pstrIP, nPort);
  mosquitto_property *pRaw = nullptr;
  mosquitto_property_add_int32(&pRaw, MQTT_PROP_SESSION_EXPIRY_INTERVAL, kSessionExpirySeconds);
  PropertyList props(pRaw);
  int nRet = m_pSession->connect(pstrIP, nPort, kKeepalive, "", props.get());
  int nResult = 0;
  if (nRet != MOSQ_ERR_SUCCESS) {
    m_pSession->onDisconnect(nRet, nullptr);
    BUSLINE_LOG(zt::log::LOG_ERROR, " topicbus_connect,connect fail,nRet=%d,%s", nRet,
                mosquitto_strerror(nRet));
    nResult = -1;
  } else {
    BUSLINE_LOG(zt::log::LOG_DEBUG, " topicbus_connect,connect,nRet=%d", nRet);
  }
  m_pSession->startThread();
  return nResult;
}

int TopicbusClient::subscribe(const char *pstrTopic, int nQos) {
  if (!isValidTopic(pstrTopic)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "无效的主题！");
    return -2;
  }
  if (nQos < 0 || nQos > 2) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " mqtt_subscribe Topic=[%s],Qos=[%d]", pstrTopic, nQos);
    return -2;
  }
  std::shared_lock<std::shared_mutex> use(m_useMutex);
  if (!m_bInited.load()) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " mqtt_subscribe m_bInited=[%d]", 0);
    return -4;
  }
  int nMessageId = 0;
  int nRet = m_pSession->subscribe(pstrTopic, nQos, MQTT_SUB_OPT_NO_LOCAL, &nMessageId);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " mqtt_subscribe subscribe fail,nRet=[%d],%s", nRet,
                mosquitto_strerror(nRet));
    return -3;
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, " mqtt_subscribe do subscribe,nRet=[%d],nMessageId=[%d]", nRet, nMessageId);
  return 0;
}

int TopicbusClient::unsubscribe(const char *pstrTopic) {
  if (!isValidTopic(pstrTopic)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " mqtt_unsubscribe Topic=[%s]", logText(pstrTopic));
    return -2;
  }
  std::shared_lock<std::shared_mutex> use(m_useMutex);
  if (!m_bInited.load()) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " mqtt_unsubscribe m_bInited=[%d]", 0);
    return -4;
  }
  int nMessageId = 0;
  int nRet = m_pSession->unsubscribe(pstrTopic, &nMessageId);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " mqtt_unsubscribe unsubscribe fail,nRet=[%d],%s", nRet,
                mosquitto_strerror(nRet));
    return -3;
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, " mqtt_unsubscribe do unsubscribe,nRet=[%d],nMessageId=[%d]", nRet,
              nMessageId);
  return 0;
}

int TopicbusClient::publish(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                            uint32_t uSN, int32_t nType, const char *pstrResponseTopic) {
  if (!isValidTopic(pstrTopic)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "无效的主题！");
    return -2;
  }
  if (!fitsTextLimit(pstrResponseTopic) || nQos < 0 || nQos > 2) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " publish param error: Topic=[%s],nQos=[%d], ResponseTopic=[%s]",
                pstrTopic, nQos, logText(pstrResponseTopic));
    return -2;
  }
  if (nSize < 0 || (pMessage == nullptr && nSize != 0)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " publish param error: Topic=[%s],pMessage=[%p],nSize=[%d]", pstrTopic,
                pMessage, nSize);
    return -2;
  }
  std::shared_lock<std::shared_mutex> use(m_useMutex);
  if (!m_bInited.load()) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " mqtt_publish m_bInited=[%d]", 0);
    return -4;
  }
  PropertyList props(zt::bus::buildMessageProperties(" mqtt_publish", uSN, nType, pstrResponseTopic, ""));
  int nMessageId = 0;
  int nRet = m_pSession->publish(pstrTopic, nSize, pMessage, nQos, nRetain != 0, props.get(), &nMessageId);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " mqtt_publish fail,nRet=[%d], Err: %s", nRet, mosquitto_strerror(nRet));
    return -3;
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, " mqtt_publish do publish nRet=[%d],nMessageId=[%d]", nRet, nMessageId);
  return 0;
}

int TopicbusClient::exit() {
  // The network thread cannot join itself.
  if (m_pSession->onNetworkThread()) {
    BUSLINE_LOG(zt::log::LOG_ERROR, " mqtt_exit,called from a callback of the same handle,refused,pHandle=%p",
                static_cast<void *>(this));
    return -2;
  }
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  {
    std::unique_lock<std::shared_mutex> use(m_useMutex);
    if (!m_bInited.exchange(false)) {
      BUSLINE_LOG(zt::log::LOG_ERROR, " mqtt_exit m_bInited=[%d]", 0);
      return -4;
    }
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, " mqtt_exit");
  m_pSession->exitThread();
  m_pSession->destroy();
  return 0;
}

} // namespace zt::tb
