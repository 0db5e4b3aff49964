// A client-mode and a server-mode proxy in one process, joined by a real ZTIP link on
// loopback, each beside its own broker: a driver at site A, an application at site B.
#include "api/ztip_library.h"
#include "broker.h"
#include "command_table.h"
#include "proxy_test_support.h"
#include "ztdm_handle.h"
#include "ztip_handle.h"
#include "ztsi_handle.h"

#include <gtest/gtest.h>

#include <memory>

namespace zt::proxy::test {
namespace {

constexpr int kListedVdt = 1001;

class TwoProxies : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_pSiteA = std::make_unique<zt::test::Broker>();
    s_pSiteB = std::make_unique<zt::test::Broker>();
    ASSERT_TRUE(s_pSiteA->start());
    ASSERT_TRUE(s_pSiteB->start());
  }
  static void TearDownTestSuite() {
    s_pSiteA.reset();
    s_pSiteB.reset();
  }

  void SetUp() override {
    zt::ip::ZtipTimings ztip;
    ztip.uKeyContactTickMs = 50;
    ztip.nHeartbeatEveryTicks = 2;
    ztip.uHeartbeatIdleMs = 200;
    ztip.uRefreshTickMs = 100;
    ztip.nWaitTimeoutMs = 100;
    zt::ip::setTimings(ztip);

    int nLinkPort = zt::test::freeTcpPort();
    m_server.nRunMode = 1;
    m_server.nMqttPort = s_pSiteB->port();
    m_server.strLocalAddr = "127.0.0.1:" + std::to_string(nLinkPort);
    m_server.setServerAppId("server-one");
    m_client.nMqttPort = s_pSiteA->port();
    m_client.strRemoteAddr = "127.0.0.1:" + std::to_string(nLinkPort);
    m_client.nHeartbeatTimeoutS = 2; // every second tick
    m_client.vdtList = {kListedVdt};
    m_client.strClientAppId = "client-one";
    m_client.setServerAppId("server-unknown");

    m_driver.addDevice("D1", kListedVdt);
    m_driver.addDevice("U1", kListedVdt + 1);

    m_serverLink.attachBridge(&m_serverBridge);
    ASSERT_TRUE(m_serverBridge.init());
    m_serverLink.init();
    m_clientLink.attachBridge(&m_clientBridge);
    ASSERT_TRUE(m_clientBridge.init());
    m_clientLink.init();
  }

  void TearDown() override {
    m_clientLink.release();
    m_clientBridge.release();
    m_serverLink.release();
    m_serverBridge.release();
    zt::ip::setTimings(zt::ip::ZtipTimings());
  }

  bool answered(int nCmd, int nSn, AppAnswer &answer) {
    return m_app.request(nCmd, "D1", nSn, "{\"k\":1}", answer) && answer.nCode == 0;
  }

  static inline std::unique_ptr<zt::test::Broker> s_pSiteA;
  static inline std::unique_ptr<zt::test::Broker> s_pSiteB;
  const LinkTimings m_timings{50ms, 300ms, 100ms};

  TestDriver m_driver{s_pSiteA->port()};
  TestApp m_app{s_pSiteB->port()};
  GlobalData m_server;
  ZtipHandle m_serverLink{m_server, m_timings};
  ZtdmHandle m_serverBridge{m_server, m_serverLink, 3s};
  GlobalData m_client;
  ZtipHandle m_clientLink{m_client, m_timings};
  ZtsiHandle m_clientBridge{m_client, m_clientLink};
};

TEST_F(TwoProxies, ServeTheListedDevicesOfSiteAToSiteB) {
  ASSERT_TRUE(m_app.waitDevice("D1", 15s));
  EXPECT_EQ(m_client.serverAppId(), "server-one");
  m_driver.answerWith(0, "answer from A");
  AppAnswer answer;
  for (int nCmd = 2; nCmd <= 5; ++nCmd) {
    ASSERT_TRUE(answered(nCmd, 200 + nCmd, answer)) << nCmd << " " << answer.nCode << " " << answer.strDesc;
    EXPECT_EQ(answer.nSn, 200 + nCmd);
  }
  EXPECT_EQ(answer.strDesc, "answer from A");
  std::vector<DriverRequest> requests = m_driver.waitRequests(4);
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].strData, "{\"k\":1}");
  EXPECT_EQ(requests[2].nCmd, 4);

  m_driver.answerWith(6, "refused at A");
  ASSERT_TRUE(m_app.request(3, "D1", 300, "", answer));
  EXPECT_EQ(answer.nCode, 6);

  m_driver.report(7, "D1", 1, "data across");
  EXPECT_EQ(m_app.waitReports("data", 1), std::vector<std::string>{"data across"});
  EXPECT_FALSE(m_app.knows("U1"));
}

TEST_F(TwoProxies, MalformedMessagesAreDroppedAndTheLinkKeepsServing) {
  ASSERT_TRUE(m_app.waitDevice("D1", 15s));
  std::string strSocket = m_client.localId();
  Json::Value body(Json::objectValue);
  body["devId"] = "D1";
  body["sn"] = "not a number";
  for (const std::string &strText :
       {std::string("not json at all"), std::string(R"({"head": {"seqId": "x"}, "body": {}})"), std::string("[1]"),
        m_clientLink.buildMessage(0x8099, 0, Json::Value(Json::objectValue), ""),
        m_clientLink.buildMessage(kCmdReportDataCallback, 0, body, "")})
    EXPECT_TRUE(m_clientLink.sendMessage(strSocket, 0x8099, 0, strText));
  AppAnswer answer;
  ASSERT_TRUE(answered(3, 400, answer));
  EXPECT_TRUE(m_app.waitReports("data", 1, 300ms).empty());
}

TEST_F(TwoProxies, DevicesComeBackAfterTheLinkIsCutAndRestored) {
  ASSERT_TRUE(m_app.waitDevice("D1", 15s));
  AppAnswer answer;
  ASSERT_TRUE(answered(3, 1, answer));
  std::string strOldSocket = m_client.localId();
  ASSERT_EQ(ztIP_Disconnect(static_cast<uint16_t>(std::stoi(strOldSocket))), 0x01);
  // The server forgets the devices of the lost connection, and the client reconnects.
  ASSERT_TRUE(zt::test::waitFor([&] { return m_serverBridge.getClientId("D1").empty(); }, 10s));
  ASSERT_TRUE(zt::test::waitFor(
      [&] { return !m_client.localId().empty() && m_client.localId() != strOldSocket; }, 10s));
  // The same server answers the heartbeats: only the registrations the client marked as lost
  // bring the device back.
  ASSERT_TRUE(zt::test::waitFor([&] { return !m_serverBridge.getClientId("D1").empty(); }, 10s));
  ASSERT_TRUE(answered(3, 2, answer));
}

} // namespace
} // namespace zt::proxy::test
