#include "end_to_end_support.h"

#include "broker.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace zt::test {

namespace {

std::string deviceIdOf(const DeviceInfo *pDevice) {
  return std::string(pDevice->id, strnlen(pDevice->id, 36));
}

// Writes text into a driver output buffer, as much as fits.
void writeOutput(const std::string &strText, char *pOut, int *pnOutLen) {
  int nLen = std::min(static_cast<int>(strText.size()), *pnOutLen);
  memcpy(pOut, strText.data(), nLen);
  *pnOutLen = nLen;
}

int deferralOf(const std::string &strId) {
  if (strId == "SLOW") {
    return kShortDeferralMs;
  }
  if (strId == "LATE") {
    return kLateDeferralMs;
  }
  return strId == "QUIET" ? kEndlessDeferralMs : 0;
}

int driverSetConfig(const DeviceInfo *pDevice, const char *, int, int) {
  std::string strId = deviceIdOf(pDevice);
  if (strId == "FAIL") {
    return kDriverFailure;
  }
  return deferralOf(strId);
}

int driverGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  std::string strId = deviceIdOf(pDevice);
  if (int nDeferral = deferralOf(strId)) {
    return nDeferral;
  }
  writeOutput("{\"param\":\"" + strId + "\",\"sn\":" + std::to_string(nSn) + "}", pOut, pnOutLen);
  return 0;
}

int driverCtrl(const DeviceInfo *pDevice, const char *pData, int nLen, char *pOut, int *pnOutLen, int) {
  writeOutput("ctrl " + deviceIdOf(pDevice) + ":" + std::string(pData, nLen), pOut, pnOutLen);
  return 0;
}

int driverQryStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int) {
  writeOutput("status " + deviceIdOf(pDevice), pOut, pnOutLen);
  return 0;
}

std::string brokerAddress(int nPort) {
  return "127.0.0.1:" + std::to_string(nPort);
}

} // namespace

TestDriver::TestDriver(int nPort) {
  m_pHandle = ztdm_Create(brokerAddress(nPort).c_str());
  if (m_pHandle == nullptr) {
    return;
  }
  DriverCallbacks callbacks{&driverSetConfig, &driverGetConfig, &driverCtrl, &driverQryStatus};
  ztdm_RegisterDriver(m_pHandle, kVdtGate, &callbacks);
  ztdm_RegisterDriver(m_pHandle, kVdtReader, &callbacks);
}

TestDriver::~TestDriver() {
  if (m_pHandle != nullptr) {
    ztdm_Destroy(m_pHandle);
  }
}

void TestDriver::addDevice(const std::string &strId, const std::string &strPid, int nVdt) {
  DeviceInfo info;
  memset(&info, 0, sizeof(info));
  strncpy(info.id, strId.c_str(), sizeof(info.id));
  strncpy(info.pid, strPid.c_str(), sizeof(info.pid));
  strncpy(info.name, ("name of " + strId).c_str(), sizeof(info.name));
  strncpy(info.desc, "test device", sizeof(info.desc));
  strncpy(info.model, "T-1", sizeof(info.model));
  info.vdt = nVdt;
  info.type = 1;
  ztdm_RegisterDevice(m_pHandle, &info);
}

TestApp::TestApp(int nPort, int nRunModel) {
  m_pHandle = ztsi_CreateEx(brokerAddress(nPort).c_str(), &TestApp::onFound, this, nRunModel);
  if (m_pHandle != nullptr) {
    ztsi_SetStatusCallback(m_pHandle, &TestApp::onStatus);
    ztsi_SetDataCallback(m_pHandle, &TestApp::onData);
    ztsi_SetEventCallback(m_pHandle, &TestApp::onEvent);
  }
}

TestApp::~TestApp() {
  if (m_pHandle != nullptr) {
    ztsi_Destory(m_pHandle);
  }
}

bool TestApp::discover(const std::string &strDevId, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    ztsi_FindDevices(m_pHandle, "X", 0, nullptr);
    if (waitFor([&] { return hasFound(strDevId); }, std::chrono::milliseconds(300))) {
      return true;
    }
  }
  return false;
}

bool TestApp::hasFound(const std::string &strDevId) {
  for (const Delivery &delivery : deliveries("found")) {
    if (delivery.strData == strDevId) {
      return true;
    }
  }
  return false;
}

void TestApp::record(const std::string &strChannel, const char *pstrDevId, int nSn, const char *pData,
                     int nLen) {
  Delivery delivery{pstrDevId != nullptr ? pstrDevId : "(null)", nSn,
                    pData != nullptr ? std::string(pData, nLen) : std::string(), std::this_thread::get_id()};
  std::lock_guard<std::mutex> lock(m_mutex);
  m_mapDeliveries[strChannel].push_back(std::move(delivery));
}

std::vector<Delivery> TestApp::deliveries(const std::string &strChannel) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_mapDeliveries[strChannel];
}

size_t TestApp::count(const std::string &strChannel) {
  return deliveries(strChannel).size();
}

bool TestApp::waitCount(const std::string &strChannel, size_t nCount, std::chrono::milliseconds timeout) {
  return waitFor([&] { return count(strChannel) >= nCount; }, timeout);
}

std::vector<Delivery> TestApp::withSn(const std::string &strChannel, int nSn) {
  std::vector<Delivery> vecResult;
  for (const Delivery &delivery : deliveries(strChannel)) {
    if (delivery.nSn == nSn) {
      vecResult.push_back(delivery);
    }
  }
  return vecResult;
}

// Announcements are recorded with the announced id as data, the topic's devId as devId.
void TestApp::onFound(const char *pstrDevId, int nSn, const DeviceInfo *pInfo, void *pUserData) {
  std::string strId = deviceIdOf(pInfo);
  static_cast<TestApp *>(pUserData)->record("found", pstrDevId, nSn, strId.data(),
                                            static_cast<int>(strId.size()));
}

void TestApp::onReplayed(const char *pstrDevId, int nSn, const DeviceInfo *pInfo, void *pUserData) {
  std::string strRecord(reinterpret_cast<const char *>(pInfo), sizeof(DeviceInfo));
  static_cast<TestApp *>(pUserData)->record("replayed", pstrDevId, nSn, strRecord.data(),
                                            static_cast<int>(strRecord.size()));
}

void TestApp::onAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  static_cast<TestApp *>(pUserData)->record("answer", pstrDevId, nSn, pData, nLen);
}

void TestApp::onOtherAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  static_cast<TestApp *>(pUserData)->record("other answer", pstrDevId, nSn, pData, nLen);
}

void TestApp::onStatus(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  static_cast<TestApp *>(pUserData)->record("status", pstrDevId, nSn, pData, nLen);
}

void TestApp::onData(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  static_cast<TestApp *>(pUserData)->record("data", pstrDevId, nSn, pData, nLen);
}

void TestApp::onEvent(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  static_cast<TestApp *>(pUserData)->record("event", pstrDevId, nSn, pData, nLen);
}

ParsedAnswer parseAnswer(const std::string &strBody) {
  ParsedAnswer answer;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> pReader(builder.newCharReader());
  Json::Value jsonBody;
  if (!pReader->parse(strBody.data(), strBody.data() + strBody.size(), &jsonBody, nullptr) ||
      !jsonBody.isObject()) {
    return answer;
  }
  answer.nCmd = jsonBody.get("cmd", -1000).asInt();
  answer.nCode = jsonBody.get("code", -1000).asInt();
  answer.strDesc = jsonBody.get("desc", "").asString();
  return answer;
}

ParsedAnswer answerOf(TestApp &app, int nSn, const std::string &strDevId) {
  EXPECT_TRUE(waitFor([&] { return !app.withSn("answer", nSn).empty(); }, std::chrono::milliseconds(5000)))
      << "sn " << nSn;
  std::vector<Delivery> vecAnswers = app.withSn("answer", nSn);
  if (vecAnswers.empty()) {
    return ParsedAnswer();
  }
  EXPECT_EQ(vecAnswers[0].strDevId, strDevId);
  EXPECT_NE(vecAnswers[0].threadId, std::this_thread::get_id());
  return parseAnswer(vecAnswers[0].strData);
}

void sendEachRequestKind(TestApp &app) {
  EXPECT_EQ(ztsi_SetParam(app.handle(), "D1", 11, "{\"v\":1}", 7, &TestApp::onAnswer), 0);
  EXPECT_EQ(ztsi_GetParam(app.handle(), "D1", 12, &TestApp::onAnswer), 0);
  EXPECT_EQ(ztsi_Ctrl(app.handle(), "C1", 13, "open", 4, &TestApp::onAnswer), 0);
  EXPECT_EQ(ztsi_QryStatus(app.handle(), "C1", 14, &TestApp::onAnswer), 0);
}

void expectEachRequestKindAnswered(TestApp &app) {
  ParsedAnswer answer = answerOf(app, 11, "D1");
  EXPECT_EQ(answer.nCmd, 2);
  EXPECT_EQ(answer.nCode, 0);
  EXPECT_EQ(answer.strDesc, "");
  answer = answerOf(app, 12, "D1");
  EXPECT_EQ(answer.nCmd, 3);
  EXPECT_EQ(answer.strDesc, "{\"param\":\"D1\",\"sn\":12}");
  answer = answerOf(app, 13, "C1");
  EXPECT_EQ(answer.nCmd, 4);
  EXPECT_EQ(answer.strDesc, "ctrl C1:open");
  answer = answerOf(app, 14, "C1");
  EXPECT_EQ(answer.nCmd, 5);
  EXPECT_EQ(answer.strDesc, "status C1");
}

} // namespace zt::test
