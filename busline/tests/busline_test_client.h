// Collects what a busline handle reports through its two callbacks, and the log lines given
// to the callback of nm_set_log_func, for the tests.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "broker.h"
#include "busline.h"

namespace zt::bus::test {

struct Received {
  std::string strTopic;
  std::string strPayload;
  int nQos = 0;
  int nRetain = 0;
  uint32_t uSN = 0;
  int32_t nType = 0;
  bool bHasResponseTopic = false;
  std::string strResponseTopic;
};

class TestClient {
public:
  static void onConnect(int nStatus, void *pUserData);
  static void onMessage(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                        uint32_t uSN, int32_t nType, const char *pstrResponseTopic, void *pUserData);

  std::vector<int> statuses() const;
  std::vector<Received> messages() const;
  size_t messageCount() const;
  // Waits until at least n messages arrived (5 s).
  bool waitMessages(size_t n) const;
  // Waits for a status event after the first nFrom events (5 s unless given).
  bool waitStatus(int nStatus, size_t nFrom = 0, int nTimeoutMs = 5000) const;

private:
  mutable std::mutex m_mutex;
  std::vector<int> m_vecStatus;
  std::vector<Received> m_vecMessages;
};

// Installs itself as the log callback for its lifetime. A line containing the text given to
// throwOn() is recorded and then makes the callback throw, as a faulty application's would.
class LogCapture {
public:
  LogCapture();
  ~LogCapture();
  // Whether a line at this level contains the text.
  bool has(int nLevel, const std::string &strText) const;
  // How many lines at this level contain the text.
  size_t count(int nLevel, const std::string &strText) const;
  void throwOn(const std::string &strText);

private:
  static void onLine(int nLevel, const char *pstrText, int nLength);
};

} // namespace zt::bus::test
