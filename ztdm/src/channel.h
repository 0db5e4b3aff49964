// The instance's broker channel: one busline session (MQTT 5 with the message head), the
// receive callback that turns delivered messages into requests, and the publishing of
// announcements, reports, test cases and responses on the UP topics of registered devices.
#pragma once

#include "busline.h"
#include "driver_manager.h"
#include "response_record.h"
#include "sn_counter.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace zt::dm {

class Channel {
public:
  // Called on the busline network thread for every message whose command is known.
  using RequestHandler = void (*)(const std::string &strDevId, int nSn, int nCmd, const char *pData,
                                  int nLength, void *pContext);

  explicit Channel(DriverManager &driverManager) : m_driverManager(driverManager) {}
  ~Channel();
  Channel(const Channel &) = delete;
  Channel &operator=(const Channel &) = delete;

  void setRecvCallback(RequestHandler pHandler, void *pContext);
  // Opens the busline session; 0, or -1 when no session could be made.
  int init(const std::string &strHost, int nPort);
  // Closes the session; the receive callback is not called any more once this returns.
  void close();

  bool subscribe(const std::string &strTopic);
  bool unsubscribe(const std::string &strTopic);

  // Announcements and reports of a registered device (an sn of 0 or less draws a fresh one);
  // false when the device is unknown or the publish fails.
  bool publishNotify(const std::string &strDevId, int nCmd, int nSn, const char *pData, int nLength);
  // The test case of a vdt on its fixed topic.
  bool publishTestCase(int nVdt, int nSn, const char *pData, int nLength);
  // The response object of a request, under the request's sn as received.
  bool publishResponse(const ResponseRecord &record, int nSn);

  int connectState() const { return m_nConnectState; }

  // busline's receive callback, user data the channel; no exception leaves it.
  static void onMessage(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                        uint32_t uSN, int32_t nType, const char *pstrResponseTopic, void *pUserData);

private:
  static void onConnect(int nStatus, void *pUserData);
  void handleMessage(const char *pstrTopic, const void *pMessage, int nSize, uint32_t uSN);
  // The UP topic of a registered device; empty (and logged) for an unknown one.
  std::string upTopic(const std::string &strDevId, int nCmd) const;
  int publish(const std::string &strTopic, const char *pData, int nLength, int nSn, int nCmd);

  DriverManager &m_driverManager;
  protocol::SnCounter m_snCounter;
  std::atomic<BuslineHandle *> m_pHandle{nullptr};
  std::atomic<int> m_nConnectState{-1};
  bool m_bInited = false;
  RequestHandler m_recvCB = nullptr;
  void *m_pRecvContext = nullptr;
};

} // namespace zt::dm
