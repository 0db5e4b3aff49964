#include "busline_test_client.h"

#include <algorithm>
#include <stdexcept>

namespace zt::bus::test {

void TestClient::onConnect(int nStatus, void *pUserData) {
  auto *pSelf = static_cast<TestClient *>(pUserData);
  std::lock_guard<std::mutex> lock(pSelf->m_mutex);
  pSelf->m_vecStatus.push_back(nStatus);
}

void TestClient::onMessage(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                           uint32_t uSN, int32_t nType, const char *pstrResponseTopic, void *pUserData) {
  auto *pSelf = static_cast<TestClient *>(pUserData);
  Received received;
  received.strTopic = pstrTopic;
  received.strPayload.assign(static_cast<const char *>(pMessage), size_t(nSize));
  received.nQos = nQos;
  received.nRetain = nRetain;
  received.uSN = uSN;
  received.nType = nType;
  received.bHasResponseTopic = pstrResponseTopic != nullptr;
  received.strResponseTopic = pstrResponseTopic != nullptr ? pstrResponseTopic : "";
  std::lock_guard<std::mutex> lock(pSelf->m_mutex);
  pSelf->m_vecMessages.push_back(received);
}

std::vector<int> TestClient::statuses() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vecStatus;
}

std::vector<Received> TestClient::messages() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vecMessages;
}

size_t TestClient::messageCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vecMessages.size();
}

bool TestClient::waitMessages(size_t n) const {
  return zt::test::waitFor([&] { return messageCount() >= n; });
}

bool TestClient::waitStatus(int nStatus, size_t nFrom, int nTimeoutMs) const {
  return zt::test::waitFor(
      [&] {
        std::vector<int> vec = statuses();
        return vec.size() > nFrom && std::find(vec.begin() + long(nFrom), vec.end(), nStatus) != vec.end();
      },
      std::chrono::milliseconds(nTimeoutMs));
}

namespace {

std::mutex g_logMutex; // guards the two below
std::vector<std::pair<int, std::string>> g_vecLogLines;
std::string g_strThrowOn;

} // namespace

LogCapture::LogCapture() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_vecLogLines.clear();
  g_strThrowOn.clear();
  nm_set_log_func(onLine);
}

LogCapture::~LogCapture() {
  nm_set_log_func(nullptr);
}

void LogCapture::onLine(int nLevel, const char *pstrText, int nLength) {
  std::string strLine(pstrText, size_t(nLength));
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_vecLogLines.emplace_back(nLevel, strLine);
  if (!g_strThrowOn.empty() && strLine.find(g_strThrowOn) != std::string::npos) {
    throw std::runtime_error("log callback failed");
  }
}

bool LogCapture::has(int nLevel, const std::string &strText) const {
  return count(nLevel, strText) > 0;
}

size_t LogCapture::count(int nLevel, const std::string &strText) const {
  std::lock_guard<std::mutex> lock(g_logMutex);
  return size_t(std::count_if(g_vecLogLines.begin(), g_vecLogLines.end(), [&](const auto &line) {
    return line.first == nLevel && line.second.find(strText) != std::string::npos;
  }));
}

void LogCapture::throwOn(const std::string &strText) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_strThrowOn = strText;
}

} // namespace zt::bus::test
