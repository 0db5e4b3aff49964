#include "proxy_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace zt::proxy::test {

TempDir::TempDir() {
  char szDir[] = "/tmp/ztsi-proxy-test-XXXXXX";
  if (mkdtemp(szDir) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  m_strPath = szDir;
}

TempDir::~TempDir() { std::filesystem::remove_all(m_strPath); }

std::string TempDir::write(const std::string &strRelative, const std::string &strText) const {
  std::filesystem::path path = std::filesystem::path(m_strPath) / strRelative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << strText;
  return path.string();
}

std::string readFile(const std::string &strPath) {
  std::ifstream file(strPath, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

bool RecordingSender::sendCommand(int nCmd, const Json::Value &body, const std::string &strSeqId) {
  return record(SentMessage{"", nCmd, 0, body, strSeqId});
}

bool RecordingSender::sendCommandTo(const std::string &strSocketId, int nCmd, int nStatus, const Json::Value &body,
                                    const std::string &strSeqId) {
  return record(SentMessage{strSocketId, nCmd, nStatus, body, strSeqId});
}

bool RecordingSender::record(SentMessage message) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.push_back(message);
  }
  m_condition.notify_all();
  if (onSend)
    onSend(message);
  return bSucceed;
}

std::vector<SentMessage> RecordingSender::sent(int nCmd) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<SentMessage> result;
  for (const SentMessage &message : m_messages) {
    if (message.nCmd == nCmd)
      result.push_back(message);
  }
  return result;
}

std::vector<SentMessage> RecordingSender::waitSent(int nCmd, size_t nCount, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  auto count = [&] {
    size_t n = 0;
    for (const SentMessage &message : m_messages)
      n += message.nCmd == nCmd ? 1 : 0;
    return n;
  };
  m_condition.wait_for(lock, timeout, [&] { return count() >= nCount; });
  lock.unlock();
  return sent(nCmd);
}

void RecordingSender::clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_messages.clear();
}

// ---- TestDriver: its entry points reach the one driver of the process ----

namespace {

struct DriverState {
  std::mutex mutex;
  std::condition_variable condition;
  std::vector<DriverRequest> requests;
  int nCode = 0;
  std::string strText = "driver answer";
  std::string strHeldDevice;
  bool bHeld = false;
};

DriverState &driverState() {
  static DriverState s_state;
  return s_state;
}

std::string idOf(const DeviceInfo *pDevice) { return std::string(pDevice->id, strnlen(pDevice->id, sizeof(pDevice->id))); }

int recordRequest(const DeviceInfo *pDevice, int nCmd, int nSn, const char *pData, int nLen, char *pOut,
                  int *pnOutLen) {
  DriverState &state = driverState();
  std::unique_lock<std::mutex> lock(state.mutex);
  std::string strDevId = idOf(pDevice);
  state.requests.push_back(DriverRequest{strDevId, nCmd, nSn, pData != nullptr ? std::string(pData, nLen) : ""});
  state.condition.notify_all();
  if (nCmd == 3 && strDevId == state.strHeldDevice)
    state.condition.wait(lock, [&] { return !state.bHeld; });
  if (pOut != nullptr && pnOutLen != nullptr) {
    int nCopy = std::min<int>(*pnOutLen, static_cast<int>(state.strText.size()));
    std::memcpy(pOut, state.strText.data(), nCopy);
    *pnOutLen = nCopy;
  }
  return state.nCode;
}

int onSetConfig(const DeviceInfo *pDevice, const char *pData, int nLen, int nSn) {
  return recordRequest(pDevice, 2, nSn, pData, nLen, nullptr, nullptr);
}
int onGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  return recordRequest(pDevice, 3, nSn, nullptr, 0, pOut, pnOutLen);
}
int onCtrl(const DeviceInfo *pDevice, const char *pData, int nLen, char *pOut, int *pnOutLen, int nSn) {
  return recordRequest(pDevice, 4, nSn, pData, nLen, pOut, pnOutLen);
}
int onQryStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  return recordRequest(pDevice, 5, nSn, nullptr, 0, pOut, pnOutLen);
}

const DriverCallbacks kTestDriver{onSetConfig, onGetConfig, onCtrl, onQryStatus};

std::string brokerAddress(int nPort) { return "127.0.0.1:" + std::to_string(nPort); }

} // namespace

TestDriver::TestDriver(int nBrokerPort) {
  DriverState &state = driverState();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.requests.clear();
    state.nCode = 0;
    state.strText = "driver answer";
    state.strHeldDevice.clear();
    state.bHeld = false;
  }
  m_pHandle = ztdm_Create(brokerAddress(nBrokerPort).c_str());
}

TestDriver::~TestDriver() {
  release();
  if (m_pHandle != nullptr)
    ztdm_Destroy(m_pHandle);
}

void TestDriver::addDevice(const std::string &strId, int nVdt) {
  ztdm_RegisterDriver(m_pHandle, nVdt, &kTestDriver);
  DeviceInfo info{};
  std::strncpy(info.id, strId.c_str(), sizeof(info.id) - 1);
  info.type = 7;
  info.vdt = nVdt;
  std::strncpy(info.name, ("name of " + strId).c_str(), sizeof(info.name) - 1);
  std::strncpy(info.pid, "0", sizeof(info.pid) - 1);
  std::strncpy(info.desc, "a test device", sizeof(info.desc) - 1);
  std::strncpy(info.model, "M1", sizeof(info.model) - 1);
  ztdm_RegisterDevice(m_pHandle, &info);
}

bool TestDriver::report(int nCmd, const std::string &strDevId, int nSn, const std::string &strData) {
  int nLen = static_cast<int>(strData.size());
  switch (nCmd) {
  case 7:
    return ztdm_ReportData(m_pHandle, strDevId.c_str(), nSn, strData.c_str(), nLen) == 0;
  case 6:
    return ztdm_ReportStatus(m_pHandle, strDevId.c_str(), nSn, strData.c_str(), nLen) == 0;
  default:
    return ztdm_ReportEvent(m_pHandle, strDevId.c_str(), nSn, strData.c_str(), nLen) == 0;
  }
}

std::vector<DriverRequest> TestDriver::waitRequests(size_t nCount, std::chrono::milliseconds timeout) {
  DriverState &state = driverState();
  std::unique_lock<std::mutex> lock(state.mutex);
  state.condition.wait_for(lock, timeout, [&] { return state.requests.size() >= nCount; });
  return state.requests;
}

void TestDriver::answerWith(int nCode, const std::string &strText) {
  std::lock_guard<std::mutex> lock(driverState().mutex);
  driverState().nCode = nCode;
  driverState().strText = strText;
}

void TestDriver::holdGetConfig(const std::string &strDevId) {
  std::lock_guard<std::mutex> lock(driverState().mutex);
  driverState().strHeldDevice = strDevId;
  driverState().bHeld = true;
}

void TestDriver::release() {
  {
    std::lock_guard<std::mutex> lock(driverState().mutex);
    driverState().bHeld = false;
  }
  driverState().condition.notify_all();
}

// ---- TestApp ----

TestApp::TestApp(int nBrokerPort) {
  m_pHandle = ztsi_Create(brokerAddress(nBrokerPort).c_str(), onFound, this);
  ztsi_SetDataCallback(m_pHandle, onData);
  ztsi_SetStatusCallback(m_pHandle, onStatus);
  ztsi_SetEventCallback(m_pHandle, onEvent);
}

TestApp::~TestApp() {
  if (m_pHandle != nullptr)
    ztsi_Destory(m_pHandle);
}

void TestApp::onFound(const char *, int, const DeviceInfo *pInfo, void *pUser) {
  auto *pApp = static_cast<TestApp *>(pUser);
  {
    std::lock_guard<std::mutex> lock(pApp->m_mutex);
    pApp->m_devices[idOf(pInfo)] = *pInfo;
  }
  pApp->m_condition.notify_all();
}

void TestApp::onAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser) {
  auto *pApp = static_cast<TestApp *>(pUser);
  AppAnswer answer{pstrDevId != nullptr ? pstrDevId : "", nSn, 0, ""};
  Json::Value response;
  Json::CharReaderBuilder builder;
  std::string strText(pData != nullptr ? pData : "", pData != nullptr ? nLen : 0);
  std::istringstream stream(strText);
  if (Json::parseFromStream(builder, stream, &response, nullptr) && response.isObject()) {
    answer.nCode = response["code"].asInt();
    answer.strDesc = response["desc"].asString();
  }
  {
    std::lock_guard<std::mutex> lock(pApp->m_mutex);
    pApp->m_answers[nSn] = answer;
  }
  pApp->m_condition.notify_all();
}

void TestApp::addReport(const std::string &strKind, const char *pData, int nLen) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reports[strKind].emplace_back(pData, nLen);
  }
  m_condition.notify_all();
}

void TestApp::onData(const char *, int, const char *pData, int nLen, void *pUser) {
  static_cast<TestApp *>(pUser)->addReport("data", pData, nLen);
}
void TestApp::onStatus(const char *, int, const char *pData, int nLen, void *pUser) {
  static_cast<TestApp *>(pUser)->addReport("status", pData, nLen);
}
void TestApp::onEvent(const char *, int, const char *pData, int nLen, void *pUser) {
  static_cast<TestApp *>(pUser)->addReport("event", pData, nLen);
}

bool TestApp::waitDevice(const std::string &strId, std::chrono::milliseconds timeout) const {
  // An announcement made before this application subscribed is missed: ask the device sides
  // to announce again while waiting.
  auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(m_mutex);
  while (m_devices.count(strId) == 0) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    lock.unlock();
    ztsi_FindDevices(m_pHandle, "X", 0, nullptr);
    lock.lock();
    m_condition.wait_for(lock, 200ms, [&] { return m_devices.count(strId) > 0; });
  }
  return true;
}

bool TestApp::knows(const std::string &strId) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_devices.count(strId) > 0;
}

int TestApp::send(int nCmd, const std::string &strDevId, int nSn, const std::string &strData) {
  int nLen = static_cast<int>(strData.size());
  switch (nCmd) {
  case 2:
    return ztsi_SetParam(m_pHandle, strDevId.c_str(), nSn, strData.c_str(), nLen, onAnswer);
  case 3:
    return ztsi_GetParam(m_pHandle, strDevId.c_str(), nSn, onAnswer);
  case 4:
    return ztsi_Ctrl(m_pHandle, strDevId.c_str(), nSn, strData.c_str(), nLen, onAnswer);
  default:
    return ztsi_QryStatus(m_pHandle, strDevId.c_str(), nSn, onAnswer);
  }
}

bool TestApp::waitAnswer(int nSn, AppAnswer &answer, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (!m_condition.wait_for(lock, timeout, [&] { return m_answers.count(nSn) > 0; }))
    return false;
  answer = m_answers.at(nSn);
  return true;
}

bool TestApp::request(int nCmd, const std::string &strDevId, int nSn, const std::string &strData, AppAnswer &answer,
                      std::chrono::milliseconds timeout) {
  return send(nCmd, strDevId, nSn, strData) == 0 && waitAnswer(nSn, answer, timeout);
}

std::vector<std::string> TestApp::waitReports(const std::string &strKind, size_t nCount,
                                              std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_condition.wait_for(lock, timeout, [&] {
    auto it = m_reports.find(strKind);
    return it != m_reports.end() && it->second.size() >= nCount;
  });
  auto it = m_reports.find(strKind);
  return it == m_reports.end() ? std::vector<std::string>() : it->second;
}

} // namespace zt::proxy::test
