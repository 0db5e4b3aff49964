// The client-mode bridge on a real broker with a real driver; the link is a recorder.
#include "broker_suite.h"
#include "command_table.h"
#include "envelope.h"
#include "logger.h"
#include "proxy_test_support.h"
#include "ztip_handle.h"
#include "ztsi_handle.h"

#include <gtest/gtest.h>

#include <thread>

namespace zt::proxy::test {
namespace {

constexpr int kListedVdt = 1001;
constexpr int kUnlistedVdt = 2002;

class ClientBridge : public zt::test::BrokerSuite {
protected:
  void SetUp() override {
    m_data.strMqttIp = "127.0.0.1";
    m_data.nMqttPort = broker().port();
    m_data.vdtList = {kListedVdt};
    m_data.setLocalId("31");
    m_data.setServerAppId("server-initial");
  }

  // The bridge with the driver's devices registered and D1 announced.
  void startWithDevices() {
    m_driver.addDevice("D1", kListedVdt);
    m_driver.addDevice("U1", kUnlistedVdt);
    ASSERT_TRUE(m_bridge.init());
    // The bridge's ztsi may have connected after the announcements: ask again until found.
    ASSERT_TRUE(zt::test::waitFor(
        [&] {
          if (!m_bridge.noDevices())
            return true;
          m_bridge.findDevice();
          return false;
        },
        10s));
  }

  static Json::Value head(const std::string &strSeqId = "seq-1") {
    Json::Value value(Json::objectValue);
    value["seqId"] = strSeqId;
    return value;
  }
  static Json::Value request(const std::string &strDevId, int nSn, const Json::Value &data = Json::Value()) {
    Json::Value body(Json::objectValue);
    body["devId"] = strDevId;
    body["sn"] = nSn;
    body["data"] = data;
    return body;
  }
  static Json::Value registerAnswer(int nCode) {
    Json::Value body = request("D1", 1, "text");
    body["code"] = nCode;
    return body;
  }

  GlobalData m_data;
  RecordingSender m_link;
  TestDriver m_driver{broker().port()};
  ZtsiHandle m_bridge{m_data, m_link};
};

TEST_F(ClientBridge, RegistersListedDevicesOnlyAndRetriesUntilConfirmed) {
  startWithDevices();
  std::vector<SentMessage> registrations = m_link.waitSent(kCmdRegisterDevice, 1);
  ASSERT_FALSE(registrations.empty());
  const Json::Value &body = registrations.front().body;
  EXPECT_EQ(body["devId"].asString(), "D1");
  EXPECT_EQ(body["id"].asString(), "D1");
  EXPECT_EQ(body["vdt"].asInt(), kListedVdt);
  EXPECT_EQ(body["type"].asInt(), 7);
  EXPECT_EQ(body["name"].asString(), "name of D1");
  EXPECT_EQ(body["pid"].asString(), "0");
  EXPECT_EQ(body["model"].asString(), "M1");
  EXPECT_EQ(body["clientId"].asString(), "31");
  EXPECT_GE(body["sn"].asInt(), 1);
  EXPECT_FALSE(m_bridge.device("U1").has_value());
  for (const SentMessage &message : m_link.sent(kCmdRegisterDevice))
    EXPECT_EQ(message.body["devId"].asString(), "D1");

  // A refused registration stays pending and goes again with the next check.
  EXPECT_TRUE(m_bridge.operate(kCmdRegisterDevice, head(), registerAnswer(-1)));
  EXPECT_EQ(m_bridge.device("D1")->nRegisterStatus, kNotRegistered);
  m_link.clear();
  m_bridge.checkDeviceRegisterStatus();
  EXPECT_EQ(m_link.sent(kCmdRegisterDevice).size(), 1u);

  EXPECT_TRUE(m_bridge.operate(kCmdRegisterDevice, head(), registerAnswer(0)));
  EXPECT_EQ(m_bridge.device("D1")->nRegisterStatus, kRegistered);
  m_link.clear();
  m_bridge.checkDeviceRegisterStatus();
  EXPECT_TRUE(m_link.sent(kCmdRegisterDevice).empty());

  // The link went down: the server forgot the device, so it is registered again.
  m_bridge.markAllUnregistered();
  EXPECT_EQ(m_bridge.device("D1")->nRegisterStatus, kNotRegistered);
  m_data.setLocalId("45");
  m_bridge.checkDeviceRegisterStatus();
  ASSERT_EQ(m_link.sent(kCmdRegisterDevice).size(), 1u);
  EXPECT_EQ(m_link.sent(kCmdRegisterDevice).front().body["clientId"].asString(), "45");
}

TEST_F(ClientBridge, CarriesRequestsToTheDriverAndItsAnswersBack) {
  startWithDevices();
  m_driver.answerWith(0, "short text");
  ASSERT_TRUE(m_bridge.operate(kCmdGetParam, head(), request("D1", 55)));
  std::vector<SentMessage> answers = m_link.waitSent(kCmdGetParamCallback, 1);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].body["devId"].asString(), "D1");
  EXPECT_EQ(answers[0].body["sn"].asInt(), 55);
  EXPECT_EQ(answers[0].body["code"].asInt(), 0); // the "code"/"desc" of the device's response
  EXPECT_EQ(answers[0].body["data"].asString(), "short text");

  m_driver.answerWith(5, "not sent by ztdm for a failure");
  ASSERT_TRUE(m_bridge.operate(kCmdGetParam, head(), request("D1", 54)));
  answers = m_link.waitSent(kCmdGetParamCallback, 2);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[1].body["sn"].asInt(), 54);
  EXPECT_EQ(answers[1].body["code"].asInt(), 5);

  m_driver.answerWith(0, "done");
  ASSERT_TRUE(m_bridge.operate(kCmdSetParam, head(), request("D1", 56, R"({"volume":3})")));
  ASSERT_TRUE(m_bridge.operate(kCmdCtrl, head(), request("D1", 57, R"({"open":1})")));
  ASSERT_TRUE(m_bridge.operate(kCmdQryStatus, head(), request("D1", 58)));
  std::vector<DriverRequest> requests = m_driver.waitRequests(5);
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[0].nCmd, 3);
  EXPECT_EQ(requests[0].nSn, 55);
  EXPECT_EQ(requests[2].nCmd, 2);
  EXPECT_EQ(requests[2].strData, R"({"volume":3})");
  EXPECT_EQ(requests[3].nCmd, 4);
  EXPECT_EQ(requests[3].strData, R"({"open":1})");
  EXPECT_EQ(requests[4].nCmd, 5);
  for (const DriverRequest &driverRequest : requests)
    EXPECT_EQ(driverRequest.strDevId, "D1");
  EXPECT_EQ(m_link.waitSent(kCmdSetParamCallback, 1).size(), 1u);
  EXPECT_EQ(m_link.waitSent(kCmdCtrlCallback, 1).size(), 1u);
  std::vector<SentMessage> status = m_link.waitSent(kCmdQryStatusCallback, 1);
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].body["sn"].asInt(), 58);
  EXPECT_EQ(status[0].body["code"].asInt(), 0);
}

TEST_F(ClientBridge, ForwardsReportsOfListedDevicesOnly) {
  startWithDevices();
  m_driver.report(7, "U1", 1, "unlisted");
  m_driver.report(7, "D1", 2, "data of D1");
  m_driver.report(6, "D1", 3, "status of D1");
  m_driver.report(8, "D1", 4, "event of D1");
  std::vector<SentMessage> data = m_link.waitSent(kCmdReportDataCallback, 1);
  ASSERT_EQ(data.size(), 1u); // U1's report went first and was not forwarded
  EXPECT_EQ(data[0].body["devId"].asString(), "D1");
  EXPECT_EQ(data[0].body["sn"].asInt(), 2);
  EXPECT_EQ(data[0].body["data"].asString(), "data of D1");
  EXPECT_EQ(m_link.waitSent(kCmdReportStatusCallback, 1).at(0).body["data"].asString(), "status of D1");
  EXPECT_EQ(m_link.waitSent(kCmdReportEventCallback, 1).at(0).body["data"].asString(), "event of D1");
}

TEST_F(ClientBridge, DropsMalformedAndUnknownMessagesAndFailsRefusedRequestsAtOnce) {
  startWithDevices();
  m_link.clear();
  EXPECT_FALSE(m_bridge.operate(0x8030, head(), request("D1", 1)));
  Json::Value textSn = request("D1", 1);
  textSn["sn"] = "1";
  EXPECT_FALSE(m_bridge.operate(kCmdGetParam, head(), textSn));
  Json::Value objectData = request("D1", 2);
  objectData["data"] = Json::Value(Json::objectValue);
  EXPECT_FALSE(m_bridge.operate(kCmdSetParam, head(), objectData));
  EXPECT_FALSE(m_bridge.operate(kCmdGetParam, head(), Json::Value("not an object")));
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(m_driver.waitRequests(1, 0ms).empty());

  // ztsi refuses a device it does not know: the server hears of it now, not after 15 s.
  EXPECT_FALSE(m_bridge.operate(kCmdCtrl, head(), request("NOBODY", 9, "x")));
  std::vector<SentMessage> answers = m_link.sent(kCmdCtrlCallback);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].body["devId"].asString(), "NOBODY");
  EXPECT_EQ(answers[0].body["sn"].asInt(), 9);
  EXPECT_EQ(answers[0].body["code"].asInt(), -1);
}

// Counts the bridge's own discoveries in its log.
class LogCapture {
public:
  LogCapture() {
    zt::log::LogOption option;
    option.strLogDir = m_dir.path();
    option.strLogName = "capture";
    option.bLogToFile = true;
    option.bLogFlushImmediately = true;
    option.nLogLevel = zt::log::LOG_DEBUG;
    option.bControlSocket = false;
    zt::log::Logger::instance().start(option);
  }
  ~LogCapture() { zt::log::Logger::instance().stop(); }
  size_t count(const std::string &strText) const {
    std::string strLog = readFile(m_dir.path() + "/capture.log");
    size_t nCount = 0;
    for (size_t nPos = strLog.find(strText); nPos != std::string::npos; nPos = strLog.find(strText, nPos + 1))
      ++nCount;
    return nCount;
  }

private:
  TempDir m_dir;
};

TEST_F(ClientBridge, HeartbeatAnswersLookForDevicesWhileNoneIsKnown) {
  LogCapture log;
  const std::string strLookup = "ZtsiHandle::findDevice,";
  ZtipHandle link(m_data);
  link.attachBridge(&m_bridge);
  auto heartbeatAnswer = [&](const std::string &strAppId) {
    Json::Value body(Json::objectValue);
    body["appId"] = strAppId;
    std::string strText = buildEnvelope(kCmdHeartbeat, 1, body, "ztsi_proxy_32769_1", 1);
    ZTIP_Head_Para head{};
    link.onZtipRecvCallback(31, head, reinterpret_cast<const uint8_t *>(strText.data()),
                            static_cast<uint32_t>(strText.size()));
  };
  ASSERT_TRUE(m_bridge.init());
  heartbeatAnswer("server-A"); // a new server: looks for devices and registers them again
  EXPECT_EQ(m_data.serverAppId(), "server-A");
  EXPECT_EQ(log.count(strLookup), 1u);
  // The same server, and still no device known: each answer looks again (a discovery made
  // before ztsi reached its broker finds nothing).
  heartbeatAnswer("server-A");
  heartbeatAnswer("server-A");
  EXPECT_EQ(log.count(strLookup), 3u);

  m_driver.addDevice("D1", kListedVdt);
  ASSERT_TRUE(zt::test::waitFor(
      [&] {
        heartbeatAnswer("server-A");
        return !m_link.sent(kCmdRegisterDevice).empty();
      },
      10s));
  size_t nLookups = log.count(strLookup);
  heartbeatAnswer("server-A"); // a device is known: the answer only checks registrations
  EXPECT_EQ(log.count(strLookup), nLookups);

  // A malformed heartbeat answer changes nothing.
  std::string strBad = R"({"head": {"cmd": 32769, "seqId": "x"}, "body": {"appId": 5}})";
  ZTIP_Head_Para ztipHead{};
  link.onZtipRecvCallback(31, ztipHead, reinterpret_cast<const uint8_t *>(strBad.data()),
                          static_cast<uint32_t>(strBad.size()));
  EXPECT_EQ(m_data.serverAppId(), "server-A");
  EXPECT_EQ(log.count(strLookup), nLookups);
}

} // namespace
} // namespace zt::proxy::test
