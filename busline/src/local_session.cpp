#include "local_session.h"

#include "busline_log.h"
#include "local_broker_address.h"

namespace zt::bus {

namespace {

constexpr int kLocalProtocol = 4; // MQTT 3.1.1: SN, type and IP list travel in the message head

std::mutex g_timingMutex; // guards g_timing
SessionTiming g_timing;

SessionTiming localSessionTiming() {
  std::lock_guard<std::mutex> lock(g_timingMutex);
  return g_timing;
}

BuslineHandle *openConnectedSession(const char *pstrCaller, const char *pstrModule,
                                    nm_mqtt_connect_callback pConnectCallback,
                                    nm_mqtt_recv_message_callback pRecvMessageCallback) {
  LocalBrokerAddress address = localBrokerAddress(pstrCaller);
  SessionArgs args;
  args.nProtocol = kLocalProtocol;
  args.nUseBuslineHead = 1;
  args.pConnectCallback = pConnectCallback;
  args.pRecvMessageCallback = pRecvMessageCallback;
  BuslineHandle *pHandle =
      initConnectedSession(address.strHost.c_str(), address.nPort, args, localSessionTiming());
  if (pHandle != nullptr) {
    busline_set_module(pHandle, pstrModule);
  }
  return pHandle;
}

} // namespace

void setLocalSessionTiming(const SessionTiming &timing) {
  std::lock_guard<std::mutex> lock(g_timingMutex);
  g_timing = timing;
}

bool LocalSession::waitWhileOpening(Lock &lock) {
  bool bOpeningHere = m_bOpening && m_openingThread == std::this_thread::get_id();
  m_opened.wait(lock, [&] { return !m_bOpening || bOpeningHere; });
  return !bOpeningHere;
}

bool LocalSession::open(Lock &lock, const char *pstrCaller, const char *pstrModule,
                        nm_mqtt_connect_callback pConnectCallback,
                        nm_mqtt_recv_message_callback pRecvMessageCallback) {
  m_bOpening = true;
  m_openingThread = std::this_thread::get_id();
  lock.unlock();
  BuslineHandle *pHandle = nullptr;
  try {
    pHandle = openConnectedSession(pstrCaller, pstrModule, pConnectCallback, pRecvMessageCallback);
  } catch (...) {
    lock.lock();
    m_bOpening = false;
    m_opened.notify_all();
    throw;
  }
  lock.lock();
  m_pHandle = pHandle;
  m_bOpening = false;
  m_opened.notify_all();
  return pHandle != nullptr;
}

BuslineHandle *LocalSession::takeForClosing(const char *pstrCaller) {
  if (m_bOpening) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,called from a callback of the session being opened,refused",
                pstrCaller);
    return nullptr;
  }
  if (m_pHandle == nullptr || exitRefusedOnOwnThread(*m_pHandle, pstrCaller)) {
    return nullptr;
  }
  BuslineHandle *pHandle = m_pHandle;
  m_pHandle = nullptr;
  return pHandle;
}

} // namespace zt::bus
