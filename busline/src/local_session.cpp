#include "local_session.h"

#include <mutex>

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

} // namespace

void setLocalSessionTiming(const SessionTiming &timing) {
  std::lock_guard<std::mutex> lock(g_timingMutex);
  g_timing = timing;
}

BuslineHandle *openLocalSession(const char *pstrCaller, const char *pstrModule,
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

} // namespace zt::bus
