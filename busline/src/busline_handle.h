// What a BuslineHandle holds, and the session set-up behind busline_init and
// busline_init_session with the waits of the session as a parameter.
#pragma once

#include "busline.h"
#include "zt_mosquitto_sdk.h"

struct BuslineHandle {
  zt::bus::ZtMosquittoSdk *pZtMosquittoSdk = nullptr;
  int nProtocol = 4;            // 3 (MQTT 3.1), 4 (MQTT 3.1.1) or 5 (MQTT 5)
  bool bUseBuslineHead = false; // whether SN, type, response topic and IP list travel with messages
};

namespace zt::bus {

struct SessionArgs {
  const char *pstrSessionId = nullptr;
  int nCleanSession = 1;
  int nProtocol = 4;
  int nUseBuslineHead = 1;
  nm_mqtt_connect_callback pConnectCallback = nullptr;
  nm_mqtt_recv_message_callback pRecvMessageCallback = nullptr;
  void *pUserData = nullptr;
};

// busline_init: secured with the trusted CA and the fixed credentials, connecting, and
// with its network thread running (also when the first connect failed); null when the trusted CA
// cannot be loaded.
BuslineHandle *initConnectedSession(const char *pstrIP, int nPort, const SessionArgs &args,
                                    const SessionTiming &timing);
// busline_init_session: neither secured nor connected; null when the protocol cannot be set.
BuslineHandle *initIdleSession(const SessionArgs &args, const SessionTiming &timing);

// True, after one ERROR line, when pstrCaller (busline_exit, nm_mqtt_exit) runs inside a callback
// of the handle it would stop: the network thread cannot join itself, so the handle keeps running.
bool exitRefusedOnOwnThread(const BuslineHandle &handle, const char *pstrCaller);

} // namespace zt::bus
