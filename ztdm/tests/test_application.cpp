#include "test_application.h"

#include "broker.h"

namespace zt::test {

TestApplication::TestApplication(int nPort) {
  m_pHandle = busline_init("127.0.0.1", nPort, nullptr, 1, 5, 1, nullptr, &TestApplication::onMessage, this);
  busline_subscribe(m_pHandle, "ZTDM/UP/#", 1);
}

TestApplication::~TestApplication() {
  busline_exit(m_pHandle);
}

int TestApplication::request(const std::string &strTopic, const std::string &strPayload, uint32_t uSN,
                             int32_t nType) {
  return busline_publish(m_pHandle, strTopic.c_str(), strPayload.data(), static_cast<int>(strPayload.size()),
                         2, 0, uSN, nType, "0");
}

void TestApplication::onMessage(const char *pstrTopic, const void *pMessage, int nSize, int, int,
                                uint32_t uSN, int32_t nType, const char *pstrResponseTopic, void *pUserData) {
  auto *pApp = static_cast<TestApplication *>(pUserData);
  ReceivedMessage message{
      pstrTopic, std::string(static_cast<const char *>(pMessage), nSize > 0 ? static_cast<size_t>(nSize) : 0),
      uSN, nType, pstrResponseTopic != nullptr ? pstrResponseTopic : ""};
  std::lock_guard<std::mutex> lock(pApp->m_mutex);
  pApp->m_vecMessages.push_back(std::move(message));
}

std::vector<ReceivedMessage> TestApplication::messages() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vecMessages;
}

void TestApplication::clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_vecMessages.clear();
}

std::vector<ReceivedMessage>
TestApplication::waitMessages(const std::function<bool(const ReceivedMessage &)> &pred, size_t nCount,
                              std::chrono::milliseconds timeout) {
  std::vector<ReceivedMessage> vecFound;
  waitFor(
      [&] {
        vecFound.clear();
        for (const ReceivedMessage &message : messages()) {
          if (pred(message)) {
            vecFound.push_back(message);
          }
        }
        return vecFound.size() >= nCount;
      },
      timeout);
  return vecFound;
}

bool TestApplication::waitMessage(const std::string &strTopic, ReceivedMessage &message,
                                  std::chrono::milliseconds timeout) {
  auto vecFound = waitMessages([&](const ReceivedMessage &m) { return m.strTopic == strTopic; }, 1, timeout);
  if (vecFound.empty()) {
    return false;
  }
  message = vecFound.front();
  return true;
}

} // namespace zt::test
