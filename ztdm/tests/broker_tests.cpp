// The device side against the real broker: a test application written on busline sends raw
// DOWN messages and checks topics, SN, TYPE and payloads on the UP side.
#include "test_application.h"

#include "broker_suite.h"
#include "entry_blocker.h"
#include "response_object.h"
#include "ztdm.h"
#include "ztdm_impl.h"

#include <json/reader.h>

#include <gtest/gtest.h>

#include "parse_json.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

using zt::test::ReceivedMessage;
using zt::test::TestApplication;

namespace {

// What the test driver answers and what it saw last.
struct DriverScript {
  std::mutex mutex;
  int nResult = 0;
  std::string strOutput;
  int nForcedOutLen = -1; // reported instead of the output's size when not -1
  std::string strLastData;
  std::string strLastDevId;
  std::string strLastPid;
  int nLastSn = 0;
};
DriverScript g_driver;

int answerWithOutput(const DeviceInfo *pDevice, const char *pData, int nDataLen, char *pOut, int *pnOutLen,
                     int nSn) {
  std::lock_guard<std::mutex> lock(g_driver.mutex);
  g_driver.strLastDevId = pDevice->id;
  g_driver.strLastPid = pDevice->pid;
  g_driver.strLastData.assign(pData != nullptr ? pData : "",
                              pData != nullptr ? static_cast<size_t>(nDataLen) : 0);
  g_driver.nLastSn = nSn;
  if (pOut != nullptr) {
    size_t nCopy = std::min(g_driver.strOutput.size(), static_cast<size_t>(*pnOutLen));
    std::memcpy(pOut, g_driver.strOutput.data(), nCopy);
    *pnOutLen = g_driver.nForcedOutLen != -1 ? g_driver.nForcedOutLen : static_cast<int>(nCopy);
  }
  return g_driver.nResult;
}

int testSetConfig(const DeviceInfo *pDevice, const char *pData, int nDataLen, int nSn) {
  return answerWithOutput(pDevice, pData, nDataLen, nullptr, nullptr, nSn);
}
int testGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  return answerWithOutput(pDevice, nullptr, 0, pOut, pnOutLen, nSn);
}
int testCtrl(const DeviceInfo *pDevice, const char *pData, int nDataLen, char *pOut, int *pnOutLen, int nSn) {
  return answerWithOutput(pDevice, pData, nDataLen, pOut, pnOutLen, nSn);
}
int testQryStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  return answerWithOutput(pDevice, nullptr, 0, pOut, pnOutLen, nSn);
}
// A driver entry point that blocks until the test lets it go.
zt::test::EntryBlocker g_slowBlocker;
int slowGetConfig(const DeviceInfo *, char *, int *pnOutLen, int) {
  g_slowBlocker.enter();
  *pnOutLen = 0;
  return 0;
}
const DriverCallbacks kSlowDriver{nullptr, slowGetConfig, nullptr, nullptr};

DeviceInfo makeDevice(const char *pstrId, const char *pstrPid, int nVdt) {
  DeviceInfo device;
  std::memset(&device, 0, sizeof device);
  std::strncpy(device.id, pstrId, sizeof device.id);
  std::strncpy(device.pid, pstrPid, sizeof device.pid);
  std::strcpy(device.name, "name");
  device.vdt = nVdt;
  device.type = 3;
  return device;
}

using zt::test::parseJson;

std::string upTopicOf(std::string strDownTopic) {
  return strDownTopic.replace(5, 4, "UP");
}

// The instances' timer runs on the real clock moved ahead by what a test adds, so the idle
// time-out passes when a test says so and never because the machine is slow.
constexpr int kIdleTimeoutMs = 60000;
std::atomic<uint64_t> g_clockAheadMs{0};
uint64_t aheadClockMs() {
  return zt::tickMs() + g_clockAheadMs;
}
constexpr std::chrono::milliseconds kSilence(300);

} // namespace

class ZtdmBrokerTest : public zt::test::BrokerSuite {
protected:
  void SetUp() override {
    {
      std::lock_guard<std::mutex> lock(g_driver.mutex);
      g_driver.nResult = 0;
      g_driver.strOutput.clear();
      g_driver.nForcedOutLen = -1;
    }
    m_pApp = std::make_unique<TestApplication>(broker().port());
    ASSERT_TRUE(zt::test::waitFor([&] { return m_pApp->connected(); }));
    m_pHandle = createInstance();
    ASSERT_NE(m_pHandle, nullptr);
    DriverCallbacks full{testSetConfig, testGetConfig, testCtrl, testQryStatus};
    DriverCallbacks onlyGet{nullptr, testGetConfig, nullptr, nullptr};
    ASSERT_EQ(ztdm_RegisterDriver(m_pHandle, 16, &full), 0);
    ASSERT_EQ(ztdm_RegisterDriver(m_pHandle, 14, &full), 0);
    ASSERT_EQ(ztdm_RegisterDriver(m_pHandle, 20, &onlyGet), 0);
    registerDevice("D1", "", 16);
    registerDevice("C1", "D1", 14);
    registerDevice("E1", "0", 20);
    registerDevice("M1", "0", 30); // no driver table for vdt 30
    syncWithDevice("ZTDM/UP/DEV/0/16/D1/FindDevices");
  }

  void TearDown() override {
    ztdm_Destroy(m_pHandle);
    m_pApp.reset();
  }

  ZtdmHandle *createInstance(bool bConcurrentDevices = false) {
    std::string strAddress = "127.0.0.1:" + std::to_string(broker().port());
    auto *pImpl = zt::dm::ZTDMImpl::create(
        strAddress.c_str(),
        zt::dm::InstanceOptions{zt::dm::SyncTimerSettings{50, kIdleTimeoutMs, &aheadClockMs}, bConcurrentDevices});
    if (pImpl == nullptr || !zt::test::waitFor([&] { return pImpl->connectState() == 0; })) {
      return nullptr;
    }
    return reinterpret_cast<ZtdmHandle *>(pImpl);
  }

  zt::dm::ZTDMImpl *impl() { return reinterpret_cast<zt::dm::ZTDMImpl *>(m_pHandle); }

  // A second instance with one driver table and one root device, announced (so subscribed);
  // null on failure.
  ZtdmHandle *createInstanceWithDevice(int nVdt, const DriverCallbacks &callbacks, const char *pstrId,
                                       bool bConcurrentDevices = false) {
    ZtdmHandle *pHandle = createInstance(bConcurrentDevices);
    DeviceInfo device = makeDevice(pstrId, "0", nVdt);
    ReceivedMessage message;
    if (pHandle == nullptr || ztdm_RegisterDriver(pHandle, nVdt, &callbacks) != 0 ||
        ztdm_RegisterDevice(pHandle, &device) != 0 ||
        !m_pApp->waitMessage("ZTDM/UP/DEV/0/" + std::to_string(nVdt) + "/" + pstrId + "/FindDevices", message)) {
      ztdm_Destroy(pHandle);
      return nullptr;
    }
    return pHandle;
  }

  void registerDevice(const char *pstrId, const char *pstrPid, int nVdt) {
    DeviceInfo device = makeDevice(pstrId, pstrPid, nVdt);
    ASSERT_EQ(ztdm_RegisterDevice(m_pHandle, &device), 0);
  }

  // Asks for discovery until the device side answers, so its subscriptions are in place.
  void syncWithDevice(const std::string &strAnnouncement) {
    ReceivedMessage message;
    bool bAnswered = false;
    for (int i = 0; i < 50 && !bAnswered; ++i) {
      m_pApp->request("ZTDM/DOWN/DEV/0/0/X/FindDevices", "{}", 1000 + i, 1);
      bAnswered = m_pApp->waitMessage(strAnnouncement, message, std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(bAnswered);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    m_pApp->clear();
  }

  // Sends a request and waits for the answer on the UP counterpart of its topic.
  bool ask(const std::string &strTopic, const std::string &strPayload, uint32_t uSN, int32_t nType,
           ReceivedMessage &answer) {
    answer = ReceivedMessage{};
    EXPECT_EQ(m_pApp->request(strTopic, strPayload, uSN, nType), 0);
    auto vecFound = m_pApp->waitMessages(
        [&](const ReceivedMessage &m) { return m.strTopic == upTopicOf(strTopic) && m.uSN == uSN; }, 1);
    if (vecFound.empty()) {
      return false;
    }
    answer = vecFound.front();
    return true;
  }

  // The response body of a request that must be answered.
  std::string answerBody(const std::string &strTopic, const std::string &strPayload, uint32_t uSN,
                         int32_t nType) {
    ReceivedMessage answer;
    EXPECT_TRUE(ask(strTopic, strPayload, uSN, nType, answer)) << strTopic;
    EXPECT_EQ(answer.nType, nType);
    EXPECT_EQ(answer.strResponseTopic, "");
    return answer.strPayload;
  }

  bool answeredWithin(uint32_t uSN, std::chrono::milliseconds timeout) {
    return !m_pApp->waitMessages([&](const ReceivedMessage &m) { return m.uSN == uSN; }, 1, timeout).empty();
  }

  void setDriver(int nResult, const std::string &strOutput = "", int nForcedOutLen = -1) {
    std::lock_guard<std::mutex> lock(g_driver.mutex);
    g_driver.nResult = nResult;
    g_driver.strOutput = strOutput;
    g_driver.nForcedOutLen = nForcedOutLen;
  }

  std::unique_ptr<TestApplication> m_pApp;
  ZtdmHandle *m_pHandle = nullptr;
};

TEST_F(ZtdmBrokerTest, RegistrationAnnouncesTheRecordAsPassed) {
  DeviceInfo device = makeDevice("D5", "", 16);
  std::memset(device.desc, 'd', sizeof device.desc); // no terminator
  ASSERT_EQ(ztdm_RegisterDevice(m_pHandle, &device), 0);
  ReceivedMessage first;
  ASSERT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/0/16/D5/FindDevices", first));
  ASSERT_EQ(first.strPayload.size(), sizeof(DeviceInfo));
  EXPECT_EQ(std::memcmp(first.strPayload.data(), &device, sizeof device), 0); // pid still empty
  EXPECT_EQ(first.nType, 1);
  EXPECT_GT(static_cast<int32_t>(first.uSN), 0);
  EXPECT_EQ(first.strResponseTopic, "");

  std::strcpy(device.name, "renamed");
  ASSERT_EQ(ztdm_RegisterDevice(m_pHandle, &device), 0);
  auto vecAnnouncements = m_pApp->waitMessages(
      [](const ReceivedMessage &m) { return m.strTopic == "ZTDM/UP/DEV/0/16/D5/FindDevices"; }, 2);
  ASSERT_EQ(vecAnnouncements.size(), 2u);
  EXPECT_NE(vecAnnouncements[1].uSN, first.uSN);
  EXPECT_STREQ(reinterpret_cast<const DeviceInfo *>(vecAnnouncements[1].strPayload.data())->name, "renamed");

  registerDevice("K1", "D5", 14);
  ReceivedMessage child;
  EXPECT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/D5/14/K1/FindDevices", child));
  // The re-registered root device answers requests, its child through it.
  EXPECT_EQ(parseJson(answerBody("ZTDM/DOWN/DEV/D5/14/K1/GetParam", "{}", 31, 3))["code"].asInt(), 0);
}

TEST_F(ZtdmBrokerTest, DiscoveryAnswersDevicesInIdOrderThenTestCasesUnderTheirVdt) {
  ASSERT_EQ(ztdm_regTestCase(m_pHandle, 20, "{\"t\":20}", 8), 0);
  ASSERT_EQ(ztdm_regTestCase(m_pHandle, 0, "{\"t\":0}", 7), 0);
  const char szWithNul[] = "{\"t\":16}\0junk";
  ASSERT_EQ(ztdm_regTestCase(m_pHandle, 16, szWithNul, sizeof szWithNul - 1), 0);
  ReceivedMessage registered;
  ASSERT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/0/0/16/RegTestCase", registered));
  EXPECT_EQ(registered.strPayload, std::string(szWithNul, sizeof szWithNul - 1));
  EXPECT_EQ(registered.nType, 9);
  EXPECT_GT(static_cast<int32_t>(registered.uSN), 0);
  EXPECT_NE(registered.uSN, 16u);
  m_pApp->waitMessages([](const ReceivedMessage &m) { return m.nType == 9; }, 3);
  m_pApp->clear();

  ASSERT_EQ(m_pApp->request("ZTDM/DOWN/DEV/0/0/anything/FindDevices", "{}", 500, 1), 0);
  auto vecAnswers = m_pApp->waitMessages([](const ReceivedMessage &) { return true; }, 7);
  std::this_thread::sleep_for(kSilence);
  vecAnswers = m_pApp->messages();
  ASSERT_EQ(vecAnswers.size(), 7u);
  const char *expectedTopics[] = {"ZTDM/UP/DEV/D1/14/C1/FindDevices", "ZTDM/UP/DEV/0/16/D1/FindDevices",
                                  "ZTDM/UP/DEV/0/20/E1/FindDevices",  "ZTDM/UP/DEV/0/30/M1/FindDevices",
                                  "ZTDM/UP/DEV/0/0/0/RegTestCase",    "ZTDM/UP/DEV/0/0/16/RegTestCase",
                                  "ZTDM/UP/DEV/0/0/20/RegTestCase"};
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(vecAnswers[i].strTopic, expectedTopics[i]);
    EXPECT_NE(vecAnswers[i].uSN, 500u);
  }
  // The stored record carries "0" for the empty pid.
  ASSERT_EQ(vecAnswers[1].strPayload.size(), sizeof(DeviceInfo));
  EXPECT_STREQ(reinterpret_cast<const DeviceInfo *>(vecAnswers[1].strPayload.data())->pid, "0");
  EXPECT_GT(static_cast<int32_t>(vecAnswers[4].uSN), 0);
  EXPECT_EQ(vecAnswers[5].uSN, 16u);
  EXPECT_EQ(vecAnswers[5].strPayload, "{\"t\":16}");
  EXPECT_EQ(vecAnswers[6].uSN, 20u);
  EXPECT_EQ(vecAnswers[6].strPayload, "{\"t\":20}");
}

TEST_F(ZtdmBrokerTest, RequestsAreAnsweredWithTheDriverResults) {
  setDriver(0, "{\"a\":1}");
  ReceivedMessage answer;
  ASSERT_TRUE(ask("ZTDM/DOWN/DEV/0/16/D1/GetParam", "{}", 7, 3, answer));
  EXPECT_EQ(answer.strTopic, "ZTDM/UP/DEV/0/16/D1/GetParam");
  EXPECT_EQ(answer.uSN, 7u);
  EXPECT_EQ(answer.nType, 3);
  EXPECT_EQ(answer.strResponseTopic, "");
  EXPECT_EQ(answer.strPayload, R"({"cmd":3,"code":0,"desc":"{\"a\":1}"})");
  {
    std::lock_guard<std::mutex> lock(g_driver.mutex);
    EXPECT_EQ(g_driver.nLastSn, 7);
    EXPECT_EQ(g_driver.strLastDevId, "D1");
    EXPECT_EQ(g_driver.strLastPid, "0");
  }

  setDriver(0, "ignored");
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/0/16/D1/SetParam", "xyz", 8, 2), R"({"cmd":2,"code":0,"desc":""})");
  {
    std::lock_guard<std::mutex> lock(g_driver.mutex);
    EXPECT_EQ(g_driver.strLastData, "xyz");
  }
  setDriver(0, "done");
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/0/16/D1/Ctrl", "{\"op\":1}", 9, 4),
            R"({"cmd":4,"code":0,"desc":"done"})");
  setDriver(0, "");
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/0/16/D1/GetParam", "{}", 10, 3), R"({"cmd":3,"code":0,"desc":""})");
  setDriver(100, "not sent");
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/0/16/D1/Ctrl", "{}", 11, 4), R"({"cmd":4,"code":100,"desc":""})");
  setDriver(-5, "not sent");
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/0/16/D1/QryStatus", "{}", 12, 5), R"({"cmd":5,"code":-5,"desc":""})");
  // A child device through its parent's subscription.
  setDriver(0, "st");
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/D1/14/C1/QryStatus", "{}", 13, 5), R"({"cmd":5,"code":0,"desc":"st"})");
  // No table for the vdt, and a table whose entry is empty.
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/0/30/M1/SetParam", "x", 14, 2),
            R"({"cmd":2,"code":-2,"desc":"Can not find SetConfig driver devId= [M1] "})");
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/0/20/E1/Ctrl", "x", 15, 4),
            R"({"cmd":4,"code":-2,"desc":"Can not find Ctrl driver devId= [E1] "})");
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/0/20/E1/QryStatus", "{}", 16, 5),
            R"({"cmd":5,"code":-2,"desc":"Can not find QryStatus driver devId= [E1] "})");
  setDriver(0, "ok");
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/0/20/E1/GetParam", "{}", 17, 3), R"({"cmd":3,"code":0,"desc":"ok"})");
}

TEST_F(ZtdmBrokerTest, DriverOutputLengthIsKeptInsideTheBuffer) {
  setDriver(0, "abc", 1 << 20);
  Json::Value jsonAnswer = parseJson(answerBody("ZTDM/DOWN/DEV/0/16/D1/QryStatus", "{}", 40, 5));
  EXPECT_EQ(jsonAnswer["code"].asInt(), 0);
  EXPECT_EQ(jsonAnswer["desc"].asString().size(), 8192u);
  EXPECT_EQ(jsonAnswer["desc"].asString().substr(0, 3), "abc");
  setDriver(0, "abc", -7);
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV/0/16/D1/GetParam", "{}", 41, 3), R"({"cmd":3,"code":0,"desc":""})");
}

TEST_F(ZtdmBrokerTest, DeferredRequestsAreAnsweredWithTimeoutAfterTheirTime) {
  struct Deferred {
    const char *pstrCommand;
    int nCmd;
    int nDelay;
  };
  const Deferred deferred[] = {{"SetParam", 2, 101},
                               {"SetParam", 2, 250},
                               {"GetParam", 3, 250},
                               {"Ctrl", 4, 101},
                               {"QryStatus", 5, 101}};
  uint32_t uSN = 60;
  for (const Deferred &request : deferred) {
    setDriver(request.nDelay, "never sent");
    const std::string strTimeoutBody = zt::protocol::responseBody(request.nCmd, 4, zt::protocol::requestTimeoutDesc().c_str(),
                                                        static_cast<int>(zt::protocol::requestTimeoutDesc().size()));
    auto start = std::chrono::steady_clock::now();
    ReceivedMessage answer;
    ASSERT_TRUE(
        ask(std::string("ZTDM/DOWN/DEV/0/16/D1/") + request.pstrCommand, "{}", ++uSN, request.nCmd, answer));
    auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(elapsed.count(), request.nDelay) << request.pstrCommand;
    EXPECT_EQ(answer.nType, request.nCmd);
    EXPECT_EQ(answer.strPayload, strTimeoutBody);
    Json::Value jsonAnswer = parseJson(answer.strPayload);
    EXPECT_EQ(parseJson(jsonAnswer["desc"].asString())["desc"].asString(), "Request time out!");
  }
  std::this_thread::sleep_for(kSilence);
  EXPECT_EQ(m_pApp->messages().size(), std::size(deferred)); // one answer each
}

TEST_F(ZtdmBrokerTest, DeferredRequestsWithTheSameSnForTwoDevicesAreBothAnswered) {
  setDriver(150, "never sent");
  const std::string strTimeoutBody = zt::protocol::responseBody(2, 4, zt::protocol::requestTimeoutDesc().c_str(),
                                                      static_cast<int>(zt::protocol::requestTimeoutDesc().size()));
  const std::string topics[] = {"ZTDM/DOWN/DEV/0/16/D1/SetParam", "ZTDM/DOWN/DEV/D1/14/C1/SetParam"};
  for (const std::string &strTopic : topics) {
    ASSERT_EQ(m_pApp->request(strTopic, "{}", 65, 2), 0);
  }
  for (const std::string &strTopic : topics) {
    ReceivedMessage answer;
    ASSERT_TRUE(m_pApp->waitMessage(upTopicOf(strTopic), answer)) << strTopic;
    EXPECT_EQ(answer.uSN, 65u);
    EXPECT_EQ(answer.nType, 2);
    EXPECT_EQ(answer.strPayload, strTimeoutBody);
  }
  std::this_thread::sleep_for(kSilence);
  EXPECT_EQ(m_pApp->messages().size(), 2u);
}

TEST_F(ZtdmBrokerTest, MalformedAndUnaddressableRequestsAreDropped) {
  m_pApp->request("ZTDM/DOWN/DEV/0/16/NOPE/GetParam", "{}", 70, 3);
  m_pApp->request("ZTDM/DOWN/DEV/0/16/D1/Bogus", "{}", 71, 3);
  m_pApp->request("ZTDM/DOWN/DEV/0/16/D1/ReportData", "{}", 72, 7);
  m_pApp->request("ZTDM/DOWN/DEV/0/16/D1/RegTestCase", "{}", 73, 9);
  m_pApp->request("ZTDM/DOWN/DEV/0", "{}", 74, 3);
  m_pApp->request("ZTDM/DOWN/DEV/0/16/D1", "{}", 75, 3);
  m_pApp->request("ZTDM/DOWN/DEV-TEST/0/16/D1/SetRunModel", "", 76, 10);
  m_pApp->request("ZTDM/DOWN/DEV-TEST/0/16/D1/SetRunModel", std::string("\x02\x00", 2), 77, 10);
  m_pApp->request("ZTDM/DOWN/DEV/0/16/D1/GetParam", "", 78, 3); // an empty payload is still a request
  ASSERT_TRUE(answeredWithin(78, std::chrono::milliseconds(5000)));
  std::this_thread::sleep_for(kSilence);
  auto vecMessages = m_pApp->messages();
  ASSERT_EQ(vecMessages.size(), 1u);
  EXPECT_EQ(vecMessages[0].strTopic, "ZTDM/UP/DEV/0/16/D1/GetParam");
  EXPECT_EQ(impl()->runModel(), 0);
}

TEST_F(ZtdmBrokerTest, RunModelChangeMovesSubscriptionsAndAnswers) {
  // Run-model requests reach a root device of any vdt.
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV-TEST/0/16/D1/QryRunModel", "{}", 80, 11),
            R"({"cmd":11,"code":0,"desc":"{\"runmodel\":0}"})");
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV-TEST/0/16/D1/SetRunModel", std::string("\x01\x00", 2), 81, 10),
            R"({"cmd":10,"code":0,"desc":"{\"runmodel\":1}"})");
  EXPECT_EQ(impl()->runModel(), 1);

  // Debug: children are reached on TEST only; roots on TEST too; answers and reports go UP/TEST.
  m_pApp->request("ZTDM/DOWN/DEV/D1/14/C1/QryStatus", "{}", 82, 5);
  EXPECT_EQ(parseJson(answerBody("ZTDM/DOWN/TEST/D1/14/C1/QryStatus", "{}", 83, 5))["code"].asInt(), 0);
  EXPECT_EQ(parseJson(answerBody("ZTDM/DOWN/TEST/0/16/D1/GetParam", "{}", 84, 3))["code"].asInt(), 0);
  ASSERT_EQ(ztdm_ReportEvent(m_pHandle, "D1", 85, "ev", 2), 0);
  ReceivedMessage report;
  EXPECT_TRUE(m_pApp->waitMessage("ZTDM/UP/TEST/0/16/D1/ReportEvent", report));

  // A repeated change is answered at once; an invalid one is not answered and changes nothing.
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV-TEST/0/16/D1/SetRunModel", std::string("\x01\x00", 2), 86, 10),
            R"({"cmd":10,"code":0,"desc":"{\"runmodel\":1}"})");
  m_pApp->request("ZTDM/DOWN/DEV-TEST/0/16/D1/SetRunModel", std::string("\x02\x00", 2), 87, 10);
  m_pApp->request("ZTDM/DOWN/DEV-TEST/0/16/D1/SetRunModel", std::string("\xff\x00", 2), 88, 10);
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV-TEST/0/16/D1/QryRunModel", "{}", 89, 11),
            R"({"cmd":11,"code":0,"desc":"{\"runmodel\":1}"})");
  EXPECT_EQ(impl()->runModel(), 1);

  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV-TEST/0/16/D1/SetRunModel", std::string("\x00\x00", 2), 90, 10),
            R"({"cmd":10,"code":0,"desc":"{\"runmodel\":0}"})");
  m_pApp->request("ZTDM/DOWN/TEST/D1/14/C1/QryStatus", "{}", 91, 5);
  m_pApp->request("ZTDM/DOWN/TEST/0/16/D1/QryStatus", "{}", 92, 5);
  EXPECT_EQ(parseJson(answerBody("ZTDM/DOWN/DEV/D1/14/C1/QryStatus", "{}", 93, 5))["code"].asInt(), 0);
  std::this_thread::sleep_for(kSilence);
  for (uint32_t uUnanswered : {82u, 87u, 88u, 91u, 92u}) {
    EXPECT_FALSE(answeredWithin(uUnanswered, std::chrono::milliseconds(0))) << uUnanswered;
  }
}

TEST_F(ZtdmBrokerTest, IdleTimerReturnsToNormalAndRequestsKeepDebugAlive) {
  EXPECT_EQ(parseJson(answerBody("ZTDM/DOWN/DEV-TEST/0/16/D1/SetRunModel", std::string("\x01\x00", 2), 100,
                                 10))["code"]
                .asInt(),
            0);
  // Requests closer together than the idle time keep Debug, well past the idle time in all.
  for (uint32_t uSN = 101; uSN < 106; ++uSN) {
    g_clockAheadMs += kIdleTimeoutMs / 2;
    answerBody("ZTDM/DOWN/TEST/D1/14/C1/GetParam", "{}", uSN, 3);
  }
  std::this_thread::sleep_for(kSilence);
  EXPECT_EQ(impl()->runModel(), 1);
  g_clockAheadMs += kIdleTimeoutMs + 1;
  ASSERT_TRUE(zt::test::waitFor([&] { return impl()->runModel() == 0; }));
  // Back on the DEV topics, with no answer sent for the change itself. The query's answer is
  // published after the re-subscriptions, so they are in place once it arrives.
  EXPECT_EQ(answerBody("ZTDM/DOWN/DEV-TEST/0/16/D1/QryRunModel", "{}", 109, 11),
            R"({"cmd":11,"code":0,"desc":"{\"runmodel\":0}"})");
  EXPECT_EQ(parseJson(answerBody("ZTDM/DOWN/DEV/D1/14/C1/GetParam", "{}", 110, 3))["code"].asInt(), 0);
  EXPECT_EQ(m_pApp
                ->waitMessages([](const ReceivedMessage &m) { return m.nType == 10; }, 2,
                               std::chrono::milliseconds(0))
                .size(),
            1u);
}

TEST_F(ZtdmBrokerTest, ReportsCarryTheDriverBytesAndSn) {
  const char data[] = {'a', '\0', 'b'};
  ASSERT_EQ(ztdm_ReportData(m_pHandle, "D1", 0, data, sizeof data), 0);
  ASSERT_EQ(ztdm_ReportStatus(m_pHandle, "C1", 5, "st", 2), 0);
  ASSERT_EQ(ztdm_ReportEvent(m_pHandle, "D1", -3, "ev", 2), 0);
  EXPECT_EQ(ztdm_ReportData(m_pHandle, "NOPE", 0, data, sizeof data), -1);
  ReceivedMessage report;
  ASSERT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/0/16/D1/ReportData", report));
  EXPECT_EQ(report.strPayload, std::string(data, sizeof data));
  EXPECT_EQ(report.nType, 7);
  EXPECT_GT(static_cast<int32_t>(report.uSN), 0);
  ASSERT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/D1/14/C1/ReportStatus", report));
  EXPECT_EQ(report.uSN, 5u);
  EXPECT_EQ(report.nType, 6);
  ASSERT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/0/16/D1/ReportEvent", report));
  EXPECT_GT(static_cast<int32_t>(report.uSN), 0);
  EXPECT_EQ(report.nType, 8);
  std::this_thread::sleep_for(kSilence);
  EXPECT_EQ(m_pApp->messages().size(), 3u);
}

TEST_F(ZtdmBrokerTest, BlockingDriverHoldsBackOnlyItsOwnInstance) {
  ZtdmHandle *pSlow = createInstanceWithDevice(40, kSlowDriver, "B1");
  ASSERT_NE(pSlow, nullptr);

  g_slowBlocker.reset();
  m_pApp->request("ZTDM/DOWN/DEV/0/40/B1/GetParam", "{}", 120, 3);
  ASSERT_TRUE(g_slowBlocker.waitEntered(1));
  // The other instance answers while this driver is still inside its entry point.
  EXPECT_EQ(parseJson(answerBody("ZTDM/DOWN/DEV/0/16/D1/GetParam", "{}", 121, 3))["code"].asInt(), 0);
  EXPECT_FALSE(answeredWithin(120, std::chrono::milliseconds(0)));
  g_slowBlocker.release();
  EXPECT_TRUE(answeredWithin(120, std::chrono::milliseconds(5000)));
  ztdm_Destroy(pSlow);
}

TEST_F(ZtdmBrokerTest, BlockingEntryPointHoldsBackLaterRequestsButNoPublishing) {
  ASSERT_EQ(ztdm_RegisterDriver(m_pHandle, 40, &kSlowDriver), 0);
  registerDevice("B1", "0", 40);
  ReceivedMessage message;
  ASSERT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/0/40/B1/FindDevices", message));
  g_slowBlocker.reset();

  // A deferred request, one that blocks, and one for another device behind it.
  setDriver(30000);
  m_pApp->request("ZTDM/DOWN/DEV/0/16/D1/SetParam", "{}", 140, 2);
  m_pApp->request("ZTDM/DOWN/DEV/0/40/B1/GetParam", "{}", 141, 3);
  m_pApp->request("ZTDM/DOWN/DEV/0/16/D1/GetParam", "{}", 142, 3);
  ASSERT_TRUE(g_slowBlocker.waitEntered(1));
  setDriver(0, "later");

  // Requests run in arrival order, so the deferral is in place: its time-out answer goes out.
  g_clockAheadMs += 30001;
  ASSERT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/0/16/D1/SetParam", message));
  EXPECT_EQ(message.uSN, 140u);
  EXPECT_EQ(parseJson(message.strPayload)["code"].asInt(), 4);
  // Reports and registrations go out as well.
  ASSERT_EQ(ztdm_ReportData(m_pHandle, "D1", 0, "while blocked", 13), 0);
  EXPECT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/0/16/D1/ReportData", message));
  registerDevice("N2", "0", 16);
  EXPECT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/0/16/N2/FindDevices", message));
  EXPECT_EQ(g_slowBlocker.inside(), 1);

  // The request behind the blocked one is answered only after it, in arrival order.
  g_slowBlocker.release();
  auto vecAnswers = m_pApp->waitMessages([](const ReceivedMessage &m) { return m.uSN == 141 || m.uSN == 142; }, 2);
  ASSERT_EQ(vecAnswers.size(), 2u);
  EXPECT_EQ(vecAnswers[0].uSN, 141u);
  EXPECT_EQ(vecAnswers[1].uSN, 142u);
  EXPECT_EQ(vecAnswers[1].strPayload, R"({"cmd":3,"code":0,"desc":"later"})");
}

TEST_F(ZtdmBrokerTest, ConcurrentDevicesAnswerOneDeviceWhileAnotherBlocks) {
  ZtdmHandle *pHandle = createInstance(true);
  ASSERT_NE(pHandle, nullptr);
  DriverCallbacks full{testSetConfig, testGetConfig, testCtrl, testQryStatus};
  ASSERT_EQ(ztdm_RegisterDriver(pHandle, 40, &kSlowDriver), 0);
  ASSERT_EQ(ztdm_RegisterDriver(pHandle, 16, &full), 0);
  for (const DeviceInfo &device : {makeDevice("B2", "0", 40), makeDevice("P1", "0", 16)}) {
    ASSERT_EQ(ztdm_RegisterDevice(pHandle, &device), 0);
  }
  m_pApp->waitMessages([](const ReceivedMessage &m) { return m.nType == 1; }, 2);
  g_slowBlocker.reset();
  setDriver(0, "at once");

  m_pApp->request("ZTDM/DOWN/DEV/0/40/B2/GetParam", "{}", 150, 3);
  m_pApp->request("ZTDM/DOWN/DEV/0/40/B2/GetParam", "{}", 151, 3);
  ASSERT_TRUE(g_slowBlocker.waitEntered(1));
  constexpr uint32_t kFirstOther = 152;
  constexpr size_t kOthers = 20;
  for (uint32_t uSN = kFirstOther; uSN < kFirstOther + kOthers; ++uSN) {
    m_pApp->request("ZTDM/DOWN/DEV/0/16/P1/GetParam", "{}", uSN, 3);
  }
  // The other device is answered while the first is held, in the order it asked.
  auto vecAnswers = m_pApp->waitMessages(
      [](const ReceivedMessage &m) { return m.strTopic == "ZTDM/UP/DEV/0/16/P1/GetParam"; }, kOthers);
  ASSERT_EQ(vecAnswers.size(), kOthers);
  for (size_t i = 0; i < kOthers; ++i) {
    EXPECT_EQ(vecAnswers[i].uSN, kFirstOther + i);
    EXPECT_EQ(vecAnswers[i].strPayload, R"({"cmd":3,"code":0,"desc":"at once"})");
  }
  // The held device's second request waits for its first.
  EXPECT_EQ(g_slowBlocker.entered(), 1);
  EXPECT_FALSE(answeredWithin(150, std::chrono::milliseconds(0)));
  g_slowBlocker.release();
  auto vecHeld = m_pApp->waitMessages(
      [](const ReceivedMessage &m) { return m.strTopic == "ZTDM/UP/DEV/0/40/B2/GetParam"; }, 2);
  ASSERT_EQ(vecHeld.size(), 2u);
  EXPECT_EQ(vecHeld[0].uSN, 150u);
  EXPECT_EQ(vecHeld[1].uSN, 151u);
  EXPECT_EQ(g_slowBlocker.entered(), 2);
  ztdm_Destroy(pHandle);
}

TEST_F(ZtdmBrokerTest, DestroyWithDeferredRequestAndDebugArmedIsClean) {
  setDriver(30000);
  m_pApp->request("ZTDM/DOWN/DEV-TEST/0/16/D1/SetRunModel", std::string("\x01\x00", 2), 130, 10);
  ASSERT_TRUE(answeredWithin(130, std::chrono::milliseconds(5000)));
  m_pApp->request("ZTDM/DOWN/TEST/0/16/D1/SetParam", "{}", 131, 2);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // Requests keep arriving while the instance goes away.
  std::atomic<bool> bSending{true};
  std::thread sender([&] {
    for (uint32_t uSN = 200; bSending; ++uSN) {
      m_pApp->request("ZTDM/DOWN/TEST/0/16/D1/GetParam", "{}", uSN, 3);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto start = std::chrono::steady_clock::now();
  ztdm_Destroy(m_pHandle);
  m_pHandle = nullptr;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)); // not the 30 s deferral
  bSending = false;
  sender.join();
  EXPECT_FALSE(answeredWithin(131, std::chrono::milliseconds(0)));
}

namespace {

// A driver whose entry points report and then destroy their own instance on the first call.
struct DestroyingDriver {
  std::atomic<ZtdmHandle *> pHandle{nullptr};
  std::atomic<int> nCalls{0};
  std::atomic<bool> bDestroyerReturned{false};
  std::atomic<int> nCallsAfterDestroyer{0};
};
DestroyingDriver g_destroying;

int destroyOwnInstance(const DeviceInfo *pDevice) {
  if (g_destroying.bDestroyerReturned) {
    ++g_destroying.nCallsAfterDestroyer;
  }
  ++g_destroying.nCalls;
  ZtdmHandle *pHandle = g_destroying.pHandle.exchange(nullptr);
  if (pHandle != nullptr) {
    EXPECT_EQ(ztdm_ReportEvent(pHandle, pDevice->id, 0, "bye", 3), 0);
    ztdm_Destroy(pHandle);
    g_destroying.bDestroyerReturned = true;
  }
  return 0;
}
int destroyingSetConfig(const DeviceInfo *pDevice, const char *, int, int) {
  return destroyOwnInstance(pDevice);
}
int destroyingGetConfig(const DeviceInfo *pDevice, char *, int *pnOutLen, int) {
  *pnOutLen = 0;
  return destroyOwnInstance(pDevice);
}
int destroyingCtrl(const DeviceInfo *pDevice, const char *, int, char *, int *pnOutLen, int) {
  *pnOutLen = 0;
  return destroyOwnInstance(pDevice);
}
int destroyingQryStatus(const DeviceInfo *pDevice, char *, int *pnOutLen, int) {
  *pnOutLen = 0;
  return destroyOwnInstance(pDevice);
}

// A driver that takes a little while per request and tells whether one is running.
struct BusyDriver {
  std::atomic<int> nCalls{0};
  std::atomic<bool> bInEntry{false};
};
BusyDriver g_busy;

int busyEntry(int nResult) {
  g_busy.bInEntry = true;
  ++g_busy.nCalls;
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  g_busy.bInEntry = false;
  return nResult;
}
int busySetConfig(const DeviceInfo *, const char *, int, int) {
  return busyEntry(150); // deferred: the timer thread answers while the instance goes away
}
int busyGetConfig(const DeviceInfo *, char *, int *pnOutLen, int) {
  *pnOutLen = 0;
  return busyEntry(0);
}
int busyCtrl(const DeviceInfo *, const char *, int, char *, int *pnOutLen, int) {
  *pnOutLen = 0;
  return busyEntry(0);
}
int busyQryStatus(const DeviceInfo *, char *, int *pnOutLen, int) {
  *pnOutLen = 0;
  return busyEntry(0);
}

struct RequestKind {
  const char *pstrCommand;
  int nCmd;
};
const RequestKind kEntryRequests[] = {{"SetParam", 2}, {"GetParam", 3}, {"Ctrl", 4}, {"QryStatus", 5}};

} // namespace

TEST_F(ZtdmBrokerTest, EveryEntryPointMayDestroyItsOwnInstance) {
  DriverCallbacks destroying{destroyingSetConfig, destroyingGetConfig, destroyingCtrl, destroyingQryStatus};
  for (bool bConcurrentDevices : {false, true}) {
  for (const RequestKind &kind : kEntryRequests) {
    SCOPED_TRACE(std::string(kind.pstrCommand) + (bConcurrentDevices ? ", concurrent devices" : ""));
    g_destroying.nCalls = 0;
    g_destroying.bDestroyerReturned = false;
    g_destroying.nCallsAfterDestroyer = 0;
    int nLiveBefore = zt::dm::ZTDMImpl::liveInstances();
    ZtdmHandle *pHandle = createInstanceWithDevice(50, destroying, "X1", bConcurrentDevices);
    ASSERT_NE(pHandle, nullptr);
    g_destroying.pHandle = pHandle;

    // Further requests are already queued behind the one that destroys the instance.
    for (uint32_t uSN = 300; uSN < 320; ++uSN) {
      m_pApp->request(std::string("ZTDM/DOWN/DEV/0/50/X1/") + kind.pstrCommand, "{}", uSN, kind.nCmd);
    }
    EXPECT_TRUE(zt::test::waitFor([&] { return zt::dm::ZTDMImpl::liveInstances() == nLiveBefore; },
                                  std::chrono::seconds(15)));
    EXPECT_TRUE(g_destroying.bDestroyerReturned);
    EXPECT_EQ(g_destroying.nCalls, 1);
    EXPECT_EQ(g_destroying.nCallsAfterDestroyer, 0);
    // The report sent just before the instance went away still arrives.
    ReceivedMessage report;
    ASSERT_TRUE(m_pApp->waitMessage("ZTDM/UP/DEV/0/50/X1/ReportEvent", report));
    EXPECT_EQ(report.strPayload, "bye");
    m_pApp->clear();
  }
  }
}

TEST_F(ZtdmBrokerTest, ReportsSentRightBeforeDestroyArrive) {
  ZtdmHandle *pHandle = createInstanceWithDevice(
      70, DriverCallbacks{testSetConfig, testGetConfig, testCtrl, testQryStatus}, "R1");
  ASSERT_NE(pHandle, nullptr);
  constexpr int kReports = 20;
  for (int i = 0; i < kReports; ++i) {
    ASSERT_EQ(ztdm_ReportData(pHandle, "R1", i, "last", 4), 0);
  }
  ztdm_Destroy(pHandle);
  auto vecReports = m_pApp->waitMessages(
      [](const ReceivedMessage &m) { return m.strTopic == "ZTDM/UP/DEV/0/70/R1/ReportData"; }, kReports);
  EXPECT_EQ(vecReports.size(), static_cast<size_t>(kReports));
}

TEST_F(ZtdmBrokerTest, DestroyFromAnotherThreadWaitsForTheRunningEntryPoint) {
  for (bool bConcurrentDevices : {false, true}) {
  SCOPED_TRACE(bConcurrentDevices ? "concurrent devices" : "one request at a time");
  ZtdmHandle *pHandle = createInstanceWithDevice(
      60, DriverCallbacks{busySetConfig, busyGetConfig, busyCtrl, busyQryStatus}, "Y1", bConcurrentDevices);
  ASSERT_NE(pHandle, nullptr);

  g_busy.nCalls = 0;
  std::atomic<bool> bSending{true};
  std::thread flood([&] {
    for (uint32_t uSN = 400; bSending; ++uSN) {
      const RequestKind &kind = kEntryRequests[uSN % 4];
      m_pApp->request(std::string("ZTDM/DOWN/DEV/0/60/Y1/") + kind.pstrCommand, "{}", uSN, kind.nCmd);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  ASSERT_TRUE(zt::test::waitFor([] { return g_busy.nCalls > 20; }));
  ztdm_Destroy(pHandle);
  EXPECT_FALSE(g_busy.bInEntry);
  int nCallsAtDestroy = g_busy.nCalls;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  bSending = false;
  flood.join();
  EXPECT_EQ(g_busy.nCalls, nCallsAtDestroy);
  }
}
