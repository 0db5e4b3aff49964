// An application written directly on busline for the tests: it publishes raw DOWN messages with
// the MQTT 5 properties SN, TYPE and RESPONSETOPIC and records everything it receives.
#pragma once

#include "busline.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zt::test {

struct ReceivedMessage {
  std::string strTopic;
  std::string strPayload;
  uint32_t uSN = 0;
  int32_t nType = 0;
  std::string strResponseTopic;
};

class TestApplication {
public:
  // Connects to 127.0.0.1:nPort and subscribes every UP topic.
  explicit TestApplication(int nPort);
  ~TestApplication();
  TestApplication(const TestApplication &) = delete;
  TestApplication &operator=(const TestApplication &) = delete;

  bool connected() const { return busline_get_connect_state(m_pHandle) == 1; }
  int subscribe(const std::string &strTopic) { return busline_subscribe(m_pHandle, strTopic.c_str(), 1); }
  // Publishes as an application request does: QoS 2, response topic "0".
  int request(const std::string &strTopic, const std::string &strPayload, uint32_t uSN, int32_t nType);

  std::vector<ReceivedMessage> messages();
  void clear();
  // Waits until a message on strTopic arrived and returns the first; false on time-out.
  bool waitMessage(const std::string &strTopic, ReceivedMessage &message,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  // The messages on topics that satisfy pred, waiting until at least nCount arrived.
  std::vector<ReceivedMessage>
  waitMessages(const std::function<bool(const ReceivedMessage &)> &pred, size_t nCount,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

private:
  static void onMessage(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                        uint32_t uSN, int32_t nType, const char *pstrResponseTopic, void *pUserData);

  BuslineHandle *m_pHandle = nullptr;
  std::mutex m_mutex;
  std::vector<ReceivedMessage> m_vecMessages;
};

} // namespace zt::test
