// The three connection modes against the real broker, refused connections and start-up
// failures.
#include <gtest/gtest.h>

#include "topicbus_fixture.h"

using namespace zt::tb;
using namespace zt::tb::test;
using zt::bus::test::LogCapture;

namespace {

class ConnectionModes : public TopicbusSuite {};

TEST_F(ConnectionModes, EachModeConnectsAndCarriesMessagesBothWays) {
  TestClient peer;
  TopicbusHandle *pPeer = start(SecurityMode::Plain, peer);
  ASSERT_TRUE(peer.waitStatus(0));
  int nMode = 0;
  for (SecurityMode eMode : {SecurityMode::Plain, SecurityMode::Tls, SecurityMode::Psk}) {
    SCOPED_TRACE(nMode);
    TestClient client;
    TopicbusHandle *pClient = start(eMode, client);
    ASSERT_NE(pClient, nullptr);
    ASSERT_TRUE(client.waitStatus(0));
    std::string strToClient = "mode/" + std::to_string(nMode) + "/in";
    std::string strToPeer = "mode/" + std::to_string(nMode) + "/out";
    ASSERT_TRUE(subscribed(pClient, pPeer, client, strToClient.c_str()));
    ASSERT_TRUE(subscribed(pPeer, pClient, peer, strToPeer.c_str()));

    size_t nClient = client.messageCount(), nPeer = peer.messageCount();
    EXPECT_EQ(ZTM2045_Publish(pPeer, strToClient.c_str(), "ask", 3, 1, 0, 7, 8, "mode/reply"), 0);
    EXPECT_EQ(ZTM2045_Publish(pClient, strToPeer.c_str(), "tell", 4, 2, 0, 9, 10, nullptr), 0);
    ASSERT_TRUE(client.waitMessages(nClient + 1));
    ASSERT_TRUE(peer.waitMessages(nPeer + 1));
    Received ask = client.messages().back();
    EXPECT_EQ(ask.strPayload, "ask");
    EXPECT_EQ(ask.uSN, 7u);
    EXPECT_EQ(ask.nType, 8);
    EXPECT_EQ(ask.strResponseTopic, "mode/reply");
    Received tell = peer.messages().back();
    EXPECT_EQ(tell.strPayload, "tell");
    EXPECT_EQ(tell.uSN, 9u);
    EXPECT_EQ(tell.nType, 10);
    EXPECT_FALSE(tell.bHasResponseTopic);
    EXPECT_EQ(ZTM2045_Exit(pClient), 0);
    ++nMode;
  }
  EXPECT_EQ(ZTM2045_Exit(pPeer), 0);
}

// The broker's refusal (a wrong password) is never reported as a connection.
TEST_F(ConnectionModes, RefusedConnectionIsReportedAsDisconnected) {
  TestClient client;
  TopicbusHandle *pClient = start(SecurityMode::Plain, client, nullptr, "wrong password");
  ASSERT_NE(pClient, nullptr);
  // The refusing acknowledgement, the disconnection, and the same again after the wait.
  ASSERT_TRUE(zt::test::waitFor([&] { return client.statuses().size() >= 4; }));
  for (int nStatus : client.statuses()) {
    EXPECT_EQ(nStatus, 1);
  }
  EXPECT_EQ(ZTM2045_Exit(pClient), 0);
}

TEST_F(ConnectionModes, PreSharedKeyIsNeverLoggedAndAFailedStartGivesNoHandle) {
  LogCapture log;
  TestClient client;
  TopicbusHandle *pClient = ZTM2045_CreatePSK(
      "127.0.0.1", broker().pskPort(), "psk-session", 1, zt::bus::kFixedUserName, zt::bus::kFixedPassword,
      nullptr, nullptr, 0, zt::test::Broker::pskIdentity(), zt::test::Broker::pskKey(), nullptr,
      TestClient::onConnect, TestClient::onMessage, &client);
  ASSERT_NE(pClient, nullptr);
  EXPECT_TRUE(client.waitStatus(0));
  EXPECT_TRUE(log.has(7, "pstrPSK=******"));
  EXPECT_EQ(log.count(7, zt::test::Broker::pskKey()), 0u);
  EXPECT_EQ(log.count(3, zt::test::Broker::pskKey()), 0u);
  EXPECT_EQ(ZTM2045_Exit(pClient), 0);

  // A bad port, and a key that is not hexadecimal: no handle.
  EXPECT_EQ(ZTM2045_CreatePSK("127.0.0.1", 0, nullptr, 1, nullptr, nullptr, nullptr, nullptr, 0, "id", "00ff",
                              nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(ZTM2045_CreatePSK("127.0.0.1", broker().pskPort(), nullptr, 1, nullptr, nullptr, nullptr, nullptr,
                              0, "id", "not a key", nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_TRUE(log.has(3, "Init faild！ret=[-2]"));
  EXPECT_TRUE(log.has(3, "Init faild！ret=[-1]"));
}

// An invalid address still gives a handle, on which every call returns -4.
TEST_F(ConnectionModes, InvalidAddressGivesAHandleThatRefusesEveryCall) {
  LogCapture log;
  for (auto [pstrIP, nPort] : {std::pair<const char *, int>{"127.0.0.1", 0},
                               {"127.0.0.1", 65536},
                               {"256.1.1.1", 1883},
                               {"localhost", 1883},
                               {"", 1883}}) {
    SCOPED_TRACE(pstrIP);
    TopicbusHandle *pClient =
        ZTM2045_Create(pstrIP, nPort, nullptr, 1, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(pClient, nullptr);
    EXPECT_EQ(ZTM2045_Subscribe(pClient, "a/b", 0), -4);
    EXPECT_EQ(ZTM2045_Unsubscribe(pClient, "a/b"), -4);
    EXPECT_EQ(ZTM2045_Publish(pClient, "a/b", "x", 1, 0, 0, 0, 0, nullptr), -4);
    EXPECT_EQ(ZTM2045_Exit(pClient), -4);
  }
  EXPECT_EQ(log.count(3, "无效的IP地址或端口号."), 5u);
  EXPECT_EQ(log.count(3, "Init faild！ret=[-2]"), 5u);

  // Over-long texts fail the same way.
  std::string str129(129, 's');
  TopicbusHandle *pClient = ZTM2045_Create("127.0.0.1", broker().plainPort(), str129.c_str(), 1, nullptr,
                                           nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(ZTM2045_Publish(pClient, "a/b", "x", 1, 0, 0, 0, 0, nullptr), -4);
  EXPECT_TRUE(log.has(3, "无效的参数！"));
  EXPECT_EQ(ZTM2045_Exit(pClient), -4);
}

// Nothing listens: the handle runs, reports the failure and refuses what the library cannot send.
TEST_F(ConnectionModes, UnreachableBrokerGivesARunningHandle) {
  TestClient client;
  TopicbusHandle *pClient = ZTM2045_Create("127.0.0.1", zt::test::freeTcpPort(), nullptr, 1, nullptr, nullptr,
                                           TestClient::onConnect, TestClient::onMessage, &client);
  ASSERT_NE(pClient, nullptr);
  EXPECT_TRUE(client.waitStatus(1));
  EXPECT_EQ(ZTM2045_Subscribe(pClient, "a/b", 1), -3);
  EXPECT_EQ(ZTM2045_Exit(pClient), 0);
}

} // namespace
