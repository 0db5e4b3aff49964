// The server-mode bridge on a real broker with a real application; the link is a recorder
// that can answer the requests it carries.
#include "broker_suite.h"
#include "command_table.h"
#include "proxy_test_support.h"
#include "ztdm_handle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <thread>

namespace zt::proxy::test {
namespace {

class ServerBridge : public zt::test::BrokerSuite {
protected:
  void SetUp() override {
    m_data.nRunMode = 1;
    m_data.nMqttPort = broker().port();
    ASSERT_TRUE(m_bridge.init());
  }

  static Json::Value head(const std::string &strSeqId) {
    Json::Value value(Json::objectValue);
    value["seqId"] = strSeqId;
    return value;
  }
  Json::Value registration(const std::string &strId, const std::string &strName = "gate") {
    Json::Value body(Json::objectValue);
    body["devId"] = strId;
    body["sn"] = 3;
    body["id"] = strId;
    body["type"] = 4;
    body["vdt"] = 1001;
    body["name"] = strName;
    body["pid"] = "0";
    body["desc"] = "remote";
    body["model"] = "M";
    body["clientId"] = "17";
    return body;
  }
  void registerDevice(const std::string &strId) {
    ASSERT_TRUE(m_bridge.operate(kCmdRegisterDevice, head("reg-" + strId), registration(strId)));
    ASSERT_TRUE(m_app.waitDevice(strId));
  }
  // Makes the link answer every request at once with this code and data.
  void answerWith(int nCode, const std::string &strData) {
    m_link.onSend = [this, nCode, strData](const SentMessage &message) {
      if (message.nCmd < kCmdSetParam || message.nCmd > kCmdQryStatus || message.nCmd % 2 == 0)
        return;
      Json::Value body(Json::objectValue);
      body["devId"] = message.body["devId"];
      body["sn"] = message.body["sn"];
      body["code"] = nCode;
      body["data"] = strData;
      m_bridge.operate(message.nCmd + 1, head("answer"), body);
    };
  }
  static DeviceInfo device(const std::string &strId) {
    DeviceInfo info{};
    std::strncpy(info.id, strId.c_str(), sizeof(info.id) - 1);
    return info;
  }

  GlobalData m_data;
  RecordingSender m_link;
  ZtdmHandle m_bridge{m_data, m_link, 1500ms};
  TestApp m_app{broker().port()};
};

TEST_F(ServerBridge, RegistersRemoteDevicesAndAnswersTheClient) {
  std::string strLongName(70, 'n');
  ASSERT_TRUE(m_bridge.operate(kCmdRegisterDevice, head("reg-1"), registration("D1", strLongName)));
  std::vector<SentMessage> answers = m_link.sent(kCmdRegisterDevice);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].strSocketId, "17");
  EXPECT_EQ(answers[0].nStatus, 1);
  EXPECT_EQ(answers[0].strSeqId, "reg-1");
  EXPECT_EQ(answers[0].body["devId"].asString(), "D1");
  EXPECT_EQ(answers[0].body["sn"].asInt(), 3);
  EXPECT_EQ(answers[0].body["code"].asInt(), 0);
  EXPECT_EQ(answers[0].body["data"].asString(), "注册设备成功。");
  EXPECT_EQ(m_bridge.getClientId("D1"), "17");

  ASSERT_TRUE(m_app.waitDevice("D1"));
  // Texts are cut to the record's fields; a wrongly typed registration is dropped unanswered.
  Json::Value bad = registration("D2");
  bad["vdt"] = "1001";
  EXPECT_FALSE(m_bridge.operate(kCmdRegisterDevice, head("reg-2"), bad));
  EXPECT_EQ(m_link.sent(kCmdRegisterDevice).size(), 1u);
  EXPECT_EQ(m_bridge.getClientId("D2"), "");
}

TEST_F(ServerBridge, CarriesRequestsOverTheLinkAndKeepsTheRemoteCode) {
  registerDevice("D1");
  answerWith(0, R"({"code":3,"data":"x"})");
  AppAnswer answer;
  ASSERT_TRUE(m_app.request(3, "D1", 101, "", answer));
  EXPECT_EQ(answer.nCode, 3); // ztdm sends no text with a failure
  answerWith(0, R"({"code":0,"data":"inner"})");
  ASSERT_TRUE(m_app.request(3, "D1", 105, "", answer));
  EXPECT_EQ(answer.nCode, 0);
  EXPECT_EQ(answer.strDesc, "inner");
  std::vector<SentMessage> requests = m_link.sent(kCmdGetParam);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].strSocketId, "17");
  EXPECT_EQ(requests[0].body["devId"].asString(), "D1");
  EXPECT_EQ(requests[0].body["sn"].asInt(), 101);
  EXPECT_TRUE(requests[0].body["data"].isNull());

  // A driver at the other site failing with 7 is a failure here too.
  answerWith(7, "driver failed");
  ASSERT_TRUE(m_app.request(4, "D1", 102, R"({"open":1})", answer));
  EXPECT_EQ(answer.nCode, 7);
  EXPECT_EQ(m_link.sent(kCmdCtrl).at(0).body["data"].asString(), R"({"open":1})");

  answerWith(0, "plain text");
  ASSERT_TRUE(m_app.request(5, "D1", 103, "", answer));
  EXPECT_EQ(answer.nCode, 0);
  EXPECT_EQ(answer.strDesc, "plain text");
  ASSERT_TRUE(m_app.request(2, "D1", 104, "value", answer));
  EXPECT_EQ(answer.nCode, 0);
  EXPECT_EQ(m_link.sent(kCmdSetParam).at(0).body["data"].asString(), "value");
}

TEST_F(ServerBridge, NeverWritesPastTheOutputBuffer) {
  registerDevice("D1");
  answerWith(0, "abcdefgh");
  DeviceInfo info = device("D1");
  char szOut[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
  int nLen = 4;
  EXPECT_EQ(m_bridge.ztdmDrvGetConfig(&info, szOut, &nLen, 1), 0);
  EXPECT_EQ(nLen, 4);
  EXPECT_EQ(std::string(szOut, 8), "abcd----");

  // The failure texts are cut the same way.
  DeviceInfo unknown = device("NOPE");
  nLen = 6;
  EXPECT_EQ(m_bridge.ztdmDrvGetStatus(&unknown, szOut, &nLen, 2), -1);
  EXPECT_EQ(nLen, 6);
  EXPECT_EQ(std::string(szOut, 8), "proxy --");
  nLen = 64;
  char szWide[64];
  EXPECT_EQ(m_bridge.ztdmDrvGetConfig(&unknown, szWide, &nLen, 3), -1);
  EXPECT_EQ(std::string(szWide, nLen), "proxy not find devId [NOPE] client id.");
  nLen = 0;
  EXPECT_EQ(m_bridge.ztdmDrvDevCtrl(&info, "x", 1, szOut, &nLen, 4), 0);
  EXPECT_EQ(nLen, 0);
  EXPECT_EQ(m_bridge.ztdmDrvDevCtrl(&info, nullptr, 0, szOut, &nLen, 5), -1);
}

TEST_F(ServerBridge, FailsWithoutAnswerOnTimeOutAndAtOnceWhenTheClientGoes) {
  registerDevice("D1");
  DeviceInfo info = device("D1");
  char szOut[64];
  int nLen = sizeof(szOut);
  EXPECT_EQ(m_bridge.ztdmDrvGetConfig(&info, szOut, &nLen, 1), -1);
  EXPECT_EQ(std::string(szOut, nLen), "proxy recv data timeout.");

  // An answer after the time-out finds nobody waiting.
  Json::Value late(Json::objectValue);
  late["devId"] = "D1";
  late["sn"] = 1;
  late["code"] = 0;
  late["data"] = "late";
  EXPECT_TRUE(m_bridge.operate(kCmdGetParamCallback, head("late"), late));

  m_link.bSucceed = false;
  nLen = sizeof(szOut);
  EXPECT_EQ(m_bridge.ztdmDrvGetStatus(&info, szOut, &nLen, 2), -1);
  EXPECT_EQ(std::string(szOut, nLen), "proxy send data failed.");
  m_link.bSucceed = true;

  // A request waiting when the client's connection closes fails then, not after its time-out.
  auto waiting = std::async(std::launch::async, [&] {
    char szBuffer[64];
    int nBufferLen = sizeof(szBuffer);
    return m_bridge.ztdmDrvGetConfig(&info, szBuffer, &nBufferLen, 3);
  });
  m_link.waitSent(kCmdGetParam, 2);
  m_bridge.clearClientId("17");
  ASSERT_EQ(waiting.wait_for(1s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), -1);
  EXPECT_EQ(m_bridge.getClientId("D1"), "");
  AppAnswer answer;
  ASSERT_TRUE(m_app.request(3, "D1", 7, "", answer, 1s)); // well before the 1.5 s time-out
  EXPECT_EQ(answer.nCode, -1);
}

TEST_F(ServerBridge, AnUnansweredRequestHoldsBackNoOtherDevice) {
  registerDevice("D1");
  registerDevice("D2");
  // The link answers only D2.
  m_link.onSend = [this](const SentMessage &message) {
    if (message.nCmd != kCmdGetParam || message.body["devId"].asString() != "D2")
      return;
    Json::Value body(Json::objectValue);
    body["devId"] = "D2";
    body["sn"] = message.body["sn"];
    body["code"] = 0;
    body["data"] = "from D2";
    m_bridge.operate(kCmdGetParamCallback, head("answer"), body);
  };
  DeviceInfo d1 = device("D1");
  DeviceInfo d2 = device("D2");
  auto unanswered = std::async(std::launch::async, [&] {
    char szBuffer[64];
    int nLen = sizeof(szBuffer);
    return m_bridge.ztdmDrvGetConfig(&d1, szBuffer, &nLen, 1);
  });
  m_link.waitSent(kCmdGetParam, 1);
  char szOut[64];
  int nLen = sizeof(szOut);
  EXPECT_EQ(m_bridge.ztdmDrvGetConfig(&d2, szOut, &nLen, 1), 0);
  EXPECT_EQ(std::string(szOut, nLen), "from D2");
  EXPECT_EQ(unanswered.wait_for(0ms), std::future_status::timeout); // D1 still waits
  EXPECT_EQ(unanswered.get(), -1);
}

TEST_F(ServerBridge, PublishesReportsAndDropsMalformedOrUnknownMessages) {
  registerDevice("D1");
  auto report = [&](int nCmd, const Json::Value &data) {
    Json::Value body(Json::objectValue);
    body["devId"] = "D1";
    body["sn"] = 5;
    body["data"] = data;
    return m_bridge.operate(nCmd, head("r"), body);
  };
  EXPECT_FALSE(report(kCmdReportDataCallback, Json::Value(Json::objectValue)));
  EXPECT_TRUE(report(kCmdReportDataCallback, "data 1"));
  EXPECT_TRUE(report(kCmdReportStatusCallback, "status 1"));
  EXPECT_TRUE(report(kCmdReportEventCallback, "event 1"));
  EXPECT_EQ(m_app.waitReports("data", 1), std::vector<std::string>{"data 1"});
  EXPECT_EQ(m_app.waitReports("status", 1), std::vector<std::string>{"status 1"});
  EXPECT_EQ(m_app.waitReports("event", 1), std::vector<std::string>{"event 1"});

  m_link.clear();
  EXPECT_TRUE(m_bridge.operate(0x8099, head("u"), Json::Value(Json::objectValue)));
  EXPECT_FALSE(m_bridge.operate(kCmdSetParamCallback, head("u"), Json::Value(42)));
  EXPECT_TRUE(m_link.sent(kCmdRegisterDevice).empty());
}

} // namespace
} // namespace zt::proxy::test
