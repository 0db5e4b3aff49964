#include "zt_mosquitto_sdk.h"

#include <algorithm>
#include <climits>
#include <condition_variable>

#include "busline_log.h"
#include "received_message.h"

namespace zt::bus {

namespace {

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
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] startThread", module().c_str());
  m_thread = std::thread(&ZtMosquittoSdk::routine, this);
}

void ZtMosquittoSdk::routine() {
  m_networkThreadId.store(std::this_thread::get_id());
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] routine,begin", module().c_str());
  while (m_bRun.load()) {
    BUSLINE_LOG(zt::log::LOG_WARN, "[%s] routine,loopForever 1", module().c_str());
    int nRet = mosquitto_loop_forever(client(), loopTimeoutMs(keepalive()), 1);
    BUSLINE_LOG(zt::log::LOG_WARN, "[%s] routine,loopForever 2 nRet=%d,m_bRun=%d,nReconnectDelay=%d",
                module().c_str(), nRet, m_bRun.load() ? 1 : 0, int(m_timing.reconnectWait.count() / 1000));
    onDisconnect(nRet, nullptr);
    waitBeforeReconnect();
    if (m_bRun.load()) {
      mosquitto_reconnect(client());
    }
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] routine,end", module().c_str());
  // Another thread may later be given this id; it is not the network thread.
  m_networkThreadId.store(std::thread::id());
}

void ZtMosquittoSdk::waitBeforeReconnect() {
  auto waited = std::chrono::milliseconds(0);
  while (m_bRun.load() && waited < m_timing.reconnectWait) {
    auto step = std::min(m_timing.reconnectWaitStep, m_timing.reconnectWait - waited);
    std::this_thread::sleep_for(step);
    waited += step;
  }
}

void ZtMosquittoSdk::exitThread() {
  std::lock_guard<std::mutex> lock(m_threadMutex);
  if (!m_bRun.exchange(false)) {
    return;
  }
  std::string strModule = module();
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] exitThread,begin", strModule.c_str());
  // The broker passes a QoS 2 message on only once its handshake is complete, so disconnecting
  // earlier loses what was published just before the exit.
  waitForAcknowledgements(m_timing.acknowledgementWait);
  clearSubscriptions();
  int nRet = mosquitto_disconnect_v5(client(), 0, nullptr);
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] exitThread,disconnect,nRet=%d", strModule.c_str(), nRet);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "[%s] exitThread,disconnect fail,nRet=%d,%s", strModule.c_str(), nRet,
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
      BUSLINE_LOG(zt::log::LOG_WARN, "[%s] exitThread,disconnect,nWait=%d,nRet=%d,%s", strModule.c_str(),
                  ++g_nDisconnectRetries, nRetry, mosquitto_strerror(nRetry));
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
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] exitThread,end", strModule.c_str());
}

void ZtMosquittoSdk::onConnect(int nReturnCode, int nFlags, const mosquitto_property *pProps) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] onConnect,nReturnCode=%d,nFlags=%d,pProps=%p", module().c_str(),
              nReturnCode, nFlags, static_cast<const void *>(pProps));
  if (nm_mqtt_connect_callback pCallback = m_pConnectCallback.load()) {
    pCallback(0, m_pUserData.load());
  }
}

void ZtMosquittoSdk::onDisconnect(int nReturnCode, const mosquitto_property *pProps) {
  BUSLINE_LOG(zt::log::LOG_ERROR, "[%s] onDisconnect,nReturnCode=%d,strError=[%s],[%s],[%s],pProps=%p",
              module().c_str(), nReturnCode, mosquitto_strerror(nReturnCode),
              mosquitto_connack_string(nReturnCode), mosquitto_reason_string(nReturnCode),
              static_cast<const void *>(pProps));
  if (nm_mqtt_connect_callback pCallback = m_pConnectCallback.load()) {
    pCallback(1, m_pUserData.load());
  }
}

void ZtMosquittoSdk::onPublish(int nMessageId, int nReasonCode, const mosquitto_property *pProps) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] onPublish,nMessageId=%d,nReasonCode=%d,strError=%s,pProps=%p",
              module().c_str(), nMessageId, nReasonCode, mosquitto_reason_string(nReasonCode),
              static_cast<const void *>(pProps));
}

void ZtMosquittoSdk::onMessage(const mosquitto_message *pMessage, const mosquitto_property *pProps) {
  nm_mqtt_recv_message_callback pCallback = m_pCallback.load();
  if (pCallback == nullptr) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "[%s] onMessage,m_pCallback=%p,pMessage=%p,pProps=%p", module().c_str(),
                reinterpret_cast<void *>(pCallback), static_cast<const void *>(pMessage),
                static_cast<const void *>(pProps));
    return;
  }
  ReceivedMessage received;
  decodeReceivedMessage(pMessage, pProps, received);
  BUSLINE_LOG(
      zt::log::LOG_DEBUG,
      "[%s] onMessage,m_pCallback=%p,nMid=%d,pPayload=%p,nPayloadLen=%d,uSN=0x%x,nType=0x%x,IpList=%s",
      module().c_str(), reinterpret_cast<void *>(pCallback), pMessage->mid, received.pPayload,
      received.nPayloadLen, received.uSN, unsigned(received.nType), received.pstrIpList);
  pCallback(pMessage->topic, received.pPayload, received.nPayloadLen, pMessage->qos, pMessage->retain ? 1 : 0,
            received.uSN, received.nType, received.pstrResponseTopic, m_pUserData.load());
}

void ZtMosquittoSdk::onSubscribe(int nMessageId, int nQosCount, const int *pGrantedQos,
                                 const mosquitto_property *pProps) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] onSubscribe,nMessageId=%d,nQosCount=%d,pGrantedQos=%p,pProps=%p",
              module().c_str(), nMessageId, nQosCount, static_cast<const void *>(pGrantedQos),
              static_cast<const void *>(pProps));
}

void ZtMosquittoSdk::onUnsubscribe(int nMessageId, const mosquitto_property *pProps) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] onUnsubscribe,nMessageId=%d,pProps=%p", module().c_str(), nMessageId,
              static_cast<const void *>(pProps));
}

void ZtMosquittoSdk::onLog(int nLevel, const char *pstrText) {
  int nLineLevel = logLevelOfLibrary(nLevel);
  if (!BuslineLog::instance().enabled(nLineLevel)) {
    return;
  }
  // The library has formatted its text already: it is joined to the message as it stands.
  thread_local std::string strMessage;
  strMessage.assign("[").append(module()).append("] onLog,").append(logText(pstrText));
  BUSLINE_LOG_TEXT(nLineLevel, strMessage.c_str(), strMessage.size());
}

} // namespace zt::bus
