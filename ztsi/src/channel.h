// The instance's broker session: publishes requests to found devices and passes every received
// message with a well-formed topic and a known command to the instance's message handler.
#pragma once

#include "busline.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>

namespace zt::si {

class ZtsiDmc;

// devId (topic segment 5), sn, command code, payload and its length, handler context.
using MessageHandler = void (*)(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLen,
                                void *pContext);

class Channel {
public:
  explicit Channel(const ZtsiDmc &dmc) : m_dmc(dmc) {}
  // Closes the session.
  ~Channel();
  Channel(const Channel &) = delete;
  Channel &operator=(const Channel &) = delete;

  void setRecvCallback(MessageHandler pHandler, void *pContext);
  // Opens the session (MQTT 5 with the message head); 0, or -1 when busline gives no session.
  int init(const std::string &strHost, int nPort);
  // The busline result. A topic is handed to busline once: busline keeps every subscription
  // and sends it again after each reconnection, and devices are announced again and again.
  int subscribe(const std::string &strTopic);
  // How many subscriptions the session has handed to busline.
  size_t subscriptionCount() const;
  // Publishes a request with QoS 2 and the response topic "0"; true when busline took it.
  // Command 1 goes to the discovery topic, every other command to the found device's topic.
  bool publishRequest(const std::string &strDevId, int nCmd, int nSn, const char *pData, int nLen);
  // Ends the session; no message is received once it returns.
  void close();

  // The receive path of every message.
  void handleMessage(const char *pstrTopic, const char *pData, int nLen, int nSn);
  // busline's receive callback; pUserData is the Channel.
  static void onMessage(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                        uint32_t uSN, int32_t nType, const char *pstrResponseTopic, void *pUserData);

private:
  static void onConnect(int nStatus, void *pUserData);

  const ZtsiDmc &m_dmc;
  bool m_bInited = false;
  // -1 before busline first reports, then 0 connected or 1 disconnected.
  std::atomic<int> m_nConnectState{-1};
  BuslineHandle *m_pSession = nullptr;
  mutable std::mutex m_mutexTopics;
  std::set<std::string> m_setTopics;
  size_t m_nSubscriptions = 0;
  MessageHandler m_pRecvHandler = nullptr;
  void *m_pRecvContext = nullptr;
};

} // namespace zt::si
