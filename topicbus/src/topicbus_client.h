// One topicbus client: busline's session in topicbus's style (log lines tagged "[Mosquitto]"
// with the handle, the keep-alive as reconnect wait, properties only), with the set-up of the
// three connection modes, the last will, and an exit after which every call returns -4.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "topicbus.h"
#include "zt_mosquitto_sdk.h"

namespace zt::tb {

enum class SecurityMode {
  Plain = 0, // the caller's user name and password
  Tls = 1,   // TLS against the trusted CA, with the built-in credentials
  Psk = 2,   // TLS with a pre-shared key, and the caller's user name and password
};

// What a create function was given.
struct StartUpArgs {
  const char *pstrIP = nullptr;
  int nPort = 0;
  const char *pstrSessionId = nullptr;
  int nCleanSession = 1;
  const char *pstrUserName = nullptr;
  const char *pstrPassword = nullptr;
  bool bWithWill = false; // the create function takes a will (its topic may still be null)
  const char *pstrWillTopic = nullptr;
  const char *pstrWillMessage = nullptr;
  int nWillRetain = 0;
  nm_mqtt_connect_callback pConnectCallback = nullptr;
  nm_mqtt_recv_message_callback pRecvMessageCallback = nullptr;
  void *pUserData = nullptr;
};

class TopicbusClient {
public:
  explicit TopicbusClient(const zt::bus::SessionTiming &timing = zt::bus::SessionTiming());
  TopicbusClient(const TopicbusClient &) = delete;
  TopicbusClient &operator=(const TopicbusClient &) = delete;

  void setTls();
  void setPsk(const char *pstrIdentity, const char *pstrPsk, const char *pstrCiphers);

  // Checks the arguments, initialises the session, sets the will and connects; the network
  // thread runs afterwards unless an earlier step failed. 0, -1, -2, -3 or -4.
  int startUp(const StartUpArgs &args);

  int subscribe(const char *pstrTopic, int nQos);
  int unsubscribe(const char *pstrTopic);
  int publish(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain, uint32_t uSN,
              int32_t nType, const char *pstrResponseTopic);
  // 0, -2 from one of the client's own callbacks, -4 when not initialised (or exited before).
  int exit();

private:
  int initSession(const StartUpArgs &args);
  int setWill(const char *pstrTopic, const char *pstrMessage, int nRetain);
  int connect(const char *pstrIP, int nPort);

  std::unique_ptr<zt::bus::ZtMosquittoSdk> m_pSession;
  std::recursive_mutex m_mutex; // serialises initialisation, connection and exit
  // Held shared by every call that uses the session, exclusively by exit while it ends them:
  // a call either finishes before the session is stopped or sees m_bInited false.
  std::shared_mutex m_useMutex;
  std::atomic<bool> m_bInited{false};
  SecurityMode m_eMode = SecurityMode::Plain;
  std::string m_strPskIdentity;
  std::string m_strPsk;
  std::string m_strPskCiphers;
};

} // namespace zt::tb

// The handle callers hold is the client itself.
struct TopicbusHandle : zt::tb::TopicbusClient {
  using zt::tb::TopicbusClient::TopicbusClient;
};
