#include "zt_mosquitto_sdk.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <condition_variable>

#include "busline_log.h"
#include "received_message.h"

namespace zt::bus {

namespace {

// The keep-alive a reconnect wait counts with when the last connect gave none.
constexpr int kDefaultKeepalive = 60;

// Why the broker refused a connection, for MQTT 5 reason codes and MQTT 3 return codes alike.
const char *refusalText(int nReturnCode) {
  return nReturnCode >= 128 ? mosquitto_reason_string(nReturnCode) : mosquitto_connack_string(nReturnCode);
}

// Repeated disconnect attempts of all sessions, as numbered in the log.
std::atomic<int> g_nDisconnectRetries{0};

// The loop's timeout in milliseconds for a keep-alive in seconds; a keep-alive too long to
// express in milliseconds gets the longest timeout an int holds.
int loopTimeoutMs(int nKeepalive) {
  return int(std::min<int64_t>(int64_t(nKeepalive) * 1000, INT_MAX));
}

} // namespace

int logLevelOfLibrary(int nLibraryLevel) {
  switch (nLibraryLevel) {
  case MOSQ_LOG_INFO:
    return zt::log::LOG_INFO;
  case MOSQ_LOG_NOTICE:
    return zt::log::LOG_NOTICE;
  case MOSQ_LOG_WARNING:
    return zt::log::LOG_WARN;
  case MOSQ_LOG_ERR:
    return zt::log::LOG_ERROR;
  default:
    return zt::log::LOG_DEBUG;
  }
}

ZtMosquittoSdk::ZtMosquittoSdk(const SessionTiming &timing, const SessionStyle &style)
    : m_timing(timing), m_style(style), m_strModule(style.strModule) {}

ZtMosquittoSdk::~ZtMosquittoSdk() {
  exitThread();
}

void ZtMosquittoSdk::setModule(const std::string &strModule) {
  {
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    m_strModule = strModule;
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] setModule,this=%p", strModule.c_str(), static_cast<void *>(this));
}

std::string ZtMosquittoSdk::module() const {
  std::lock_guard<std::mutex> lock(m_moduleMutex);
  return m_strModule;
}

void ZtMosquittoSdk::setConnectCallback(nm_mqtt_connect_callback pCallback) {
  m_pConnectCallback.store(pCallback);
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] setConnectCallback,pCallback=%p", module().c_str(),
              reinterpret_cast<void *>(pCallback));
}

void ZtMosquittoSdk::setRecvMessageCallback(nm_mqtt_recv_message_callback pCallback) {
  m_pCallback.store(pCallback);
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] setRecvMessageCallback,pCallback=%p", module().c_str(),
              reinterpret_cast<void *>(pCallback));
}

void ZtMosquittoSdk::setUserData(void *pUserData) {
  m_pUserData.store(pUserData);
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] setUserData,pUserData=%p", module().c_str(), pUserData);
}

void ZtMosquittoSdk::startThread() {
  std::lock_guard<std::mutex> lock(m_threadMutex);
  if (m_bRun.exchange(true)) {
    return;
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s", lineHead("startThread").c_str());
  m_thread = std::thread(&ZtMosquittoSdk::routine, this);
}

void ZtMosquittoSdk::routine() {
  m_networkThreadId.store(std::this_thread::get_id());
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,begin", lineHead("routine").c_str());
  while (m_bRun.load()) {
    BUSLINE_LOG(zt::log::LOG_WARN, "%s,loopForever 1", lineHead("routine").c_str());
    int nRet = mosquitto_loop_forever(client(), loopTimeoutMs(keepalive()), 1);
    BUSLINE_LOG(zt::log::LOG_WARN, "%s,loopForever 2 nRet=%d,m_bRun=%d,%s=%d", lineHead("routine").c_str(), nRet,
                m_bRun.load() ? 1 : 0, m_style.bReconnectWaitIsKeepalive ? "nKeepalive" : "nReconnectDelay",
                reconnectWaitSeconds());
    onDisconnect(nRet, nullptr);
    waitBeforeReconnect();
    if (m_bRun.load()) {
      mosquitto_reconnect(client());
    }
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,end", lineHead("routine").c_str());
  // Another thread may later be given this id; it is not the network thread.
  m_networkThreadId.store(std::thread::id());
}

void ZtMosquittoSdk::waitBeforeReconnect() {
  auto waited = std::chrono::milliseconds(0);
  const auto wait = reconnectWait();
  while (m_bRun.load() && waited < wait) {
    auto step = std::min(m_timing.reconnectWaitStep, wait - waited);
    std::this_thread::sleep_for(step);
    waited += step;
  }
}

void ZtMosquittoSdk::exitThread() {
  std::lock_guard<std::mutex> lock(m_threadMutex);
  if (!m_bRun.exchange(false)) {
    return;
  }
  const std::string strHead = lineHead("exitThread");
  const std::string strDisconnectHead = lineHead("exitThread,disconnect");
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,begin", strHead.c_str());
  // The broker passes a QoS 2 message on only once its handshake is complete, so disconnecting
  // earlier loses what was published just before the exit.
  waitForAcknowledgements(m_timing.acknowledgementWait);
  clearSubscriptions();
  int nRet = mosquitto_disconnect_v5(client(), 0, nullptr);
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,nRet=%d", strDisconnectHead.c_str(), nRet);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,nRet=%d,%s", lineHead("exitThread,disconnect fail").c_str(), nRet,
                mosquitto_strerror(nRet));
  }
  // The network thread may be reconnecting right now; repeat the disconnect until it ends.
  std::mutex stopMutex;
  std::condition_variable stopCondition;
  bool bStop = false;
  std::thread retry([&] {
    std::unique_lock<std::mutex> stopLock(stopMutex);
    while (!stopCondition.wait_for(stopLock, m_timing.disconnectRetry, [&] { return bStop; })) {
      clearSubscriptions();
      int nRetry = mosquitto_disconnect_v5(client(), 0, nullptr);
      BUSLINE_LOG(zt::log::LOG_WARN, "%s,nWait=%d,nRet=%d,%s", strDisconnectHead.c_str(), ++g_nDisconnectRetries,
                  nRetry, mosquitto_strerror(nRetry));
    }
  });
  if (m_thread.joinable()) {
    m_thread.join();
  }
  {
    std::lock_guard<std::mutex> stopLock(stopMutex);
    bStop = true;
  }
  stopCondition.notify_one();
  retry.join();
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,end", strHead.c_str());
}

void ZtMosquittoSdk::onConnect(int nReturnCode, int nFlags, const mosquitto_property *pProps) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,nReturnCode=%d,nFlags=%d,pProps=%p", lineHead("onConnect").c_str(),
              nReturnCode, nFlags, static_cast<const void *>(pProps));
  // A refusing acknowledgement (bad credentials, not authorised, ...) is no connection.
  int nStatus = 0;
  if (nReturnCode != 0) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,refused,nReturnCode=%d,%s", lineHead("onConnect").c_str(), nReturnCode,
                refusalText(nReturnCode));
    nStatus = 1;
  }
  if (nm_mqtt_connect_callback pCallback = m_pConnectCallback.load()) {
    pCallback(nStatus, m_pUserData.load());
  }
}

void ZtMosquittoSdk::onDisconnect(int nReturnCode, const mosquitto_property *pProps) {
  BUSLINE_LOG(zt::log::LOG_ERROR, "%s,nReturnCode=%d,strError=[%s],[%s],[%s],pProps=%p",
              lineHead("onDisconnect").c_str(), nReturnCode, mosquitto_strerror(nReturnCode),
              mosquitto_connack_string(nReturnCode), mosquitto_reason_string(nReturnCode),
              static_cast<const void *>(pProps));
  if (nm_mqtt_connect_callback pCallback = m_pConnectCallback.load()) {
    pCallback(1, m_pUserData.load());
  }
}

void ZtMosquittoSdk::onPublish(int nMessageId, int nReasonCode, const mosquitto_property *pProps) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,nMessageId=%d,nReasonCode=%d,strError=%s,pProps=%p",
              lineHead("onPublish").c_str(), nMessageId, nReasonCode, mosquitto_reason_string(nReasonCode),
              static_cast<const void *>(pProps));
}

void ZtMosquittoSdk::onMessage(const mosquitto_message *pMessage, const mosquitto_property *pProps) {
  nm_mqtt_recv_message_callback pCallback = m_pCallback.load();
  if (pCallback == nullptr) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,m_pCallback=%p,pMessage=%p,pProps=%p", lineHead("onMessage").c_str(),
                reinterpret_cast<void *>(pCallback), static_cast<const void *>(pMessage),
                static_cast<const void *>(pProps));
    return;
  }
  ReceivedMessage received;
  decodeReceivedMessage(pMessage, pProps, m_style.bAcceptHead, received);
  BUSLINE_LOG(zt::log::LOG_DEBUG,
              "%s,m_pCallback=%p,nMid=%d,pPayload=%p,nPayloadLen=%d,uSN=0x%x,nType=0x%x,IpList=%s",
              lineHead("onMessage").c_str(), reinterpret_cast<void *>(pCallback), pMessage->mid,
              received.pPayload, received.nPayloadLen, received.uSN, unsigned(received.nType),
              received.pstrIpList);
  pCallback(pMessage->topic, received.pPayload, received.nPayloadLen, pMessage->qos, pMessage->retain ? 1 : 0,
            received.uSN, received.nType, received.pstrResponseTopic, m_pUserData.load());
}

void ZtMosquittoSdk::onSubscribe(int nMessageId, int nQosCount, const int *pGrantedQos,
                                 const mosquitto_property *pProps) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,nMessageId=%d,nQosCount=%d,pGrantedQos=%p,pProps=%p",
              lineHead("onSubscribe").c_str(), nMessageId, nQosCount, static_cast<const void *>(pGrantedQos),
              static_cast<const void *>(pProps));
}

void ZtMosquittoSdk::onUnsubscribe(int nMessageId, const mosquitto_property *pProps) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,nMessageId=%d,pProps=%p", lineHead("onUnsubscribe").c_str(), nMessageId,
              static_cast<const void *>(pProps));
}

void ZtMosquittoSdk::onLog(int nLevel, const char *pstrText) {
  int nLineLevel = logLevelOfLibrary(nLevel);
  if (!BuslineLog::instance().enabled(nLineLevel)) {
    return;
  }
  // The library has formatted its text already: it is joined to the message as it stands.
  thread_local std::string strMessage;
  strMessage.assign(lineHead("onLog")).append(",").append(logText(pstrText));
  BUSLINE_LOG_TEXT(nLineLevel, strMessage.c_str(), strMessage.size());
}

std::chrono::milliseconds ZtMosquittoSdk::reconnectWait() const {
  if (!m_style.bReconnectWaitIsKeepalive) {
    return m_timing.reconnectWait;
  }
  return m_timing.keepaliveSecond * reconnectWaitSeconds();
}

int ZtMosquittoSdk::reconnectWaitSeconds() const {
  if (!m_style.bReconnectWaitIsKeepalive) {
    return int(m_timing.reconnectWait.count() / 1000);
  }
  return keepalive() > 0 ? keepalive() : kDefaultKeepalive;
}

std::string ZtMosquittoSdk::lineHead(const char *pstrStep) const {
  std::string strHead = "[" + module() + "] " + pstrStep;
  if (m_style.pLogHandle != nullptr) {
    char buf[48];
    std::snprintf(buf, sizeof buf, ",pHandle=%p", m_style.pLogHandle);
    strHead += buf;
  }
  return strHead;
}

} // namespace zt::bus
