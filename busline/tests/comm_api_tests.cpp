// The local comm API against the real broker, which ZT_LOCAL_BROKER points the session at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "broker_suite.h"
#include "busline_comm.h"
#include "busline_test_client.h"
#include "comm_topics.h"

using zt::bus::test::LogCapture;
using zt::bus::test::Received;
using zt::bus::test::TestClient;

namespace {

struct CommMessage {
  std::string strSourceAppId;
  std::string strMsgId;
  uint32_t uSN = 0;
  int nCmd = 0;
  std::string strPayload;
};

// Records what a comm callback receives; pUserData points to the inbox.
class CommInbox {
public:
  static void onMessage(const char *pstrSourceAppId, const char *pstrMsgId, uint32_t uSN, int nCmd,
                        const void *pMessage, int nSize, void *pUserData) {
    auto *pSelf = static_cast<CommInbox *>(pUserData);
    std::lock_guard<std::mutex> lock(pSelf->m_mutex);
    pSelf->m_vecMessages.push_back(
        CommMessage{pstrSourceAppId, pstrMsgId, uSN, nCmd,
                    std::string(static_cast<const char *>(pMessage), size_t(nSize))});
  }
  std::vector<CommMessage> messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecMessages;
  }
  size_t count() const { return messages().size(); }

private:
  mutable std::mutex m_mutex;
  std::vector<CommMessage> m_vecMessages;
};

class CommApi : public zt::test::BrokerSuite {
protected:
  void SetUp() override {
    setenv("ZT_LOCAL_BROKER", ("127.0.0.1:" + std::to_string(broker().port())).c_str(), 1);
  }
  void TearDown() override { unsetenv("ZT_LOCAL_BROKER"); }

  // A peer application: a plain session with the message head, as the comm session has.
  BuslineHandle *openPeer(TestClient &client) {
    BuslineHandle *pHandle = busline_init("127.0.0.1", broker().port(), nullptr, 1, 4, 1,
                                          TestClient::onConnect, TestClient::onMessage, &client);
    EXPECT_TRUE(client.waitStatus(0));
    return pHandle;
  }
};

// Repeats send() until the inbox has grown: the comm session connects in the background and
// its subscriptions take effect with the broker's acknowledgement.
bool sendUntilDelivered(const std::function<void()> &send, const CommInbox &inbox) {
  size_t nBase = inbox.count();
  return zt::test::waitFor([&] {
    send();
    return zt::test::waitFor([&] { return inbox.count() > nBase; }, std::chrono::milliseconds(100));
  });
}

} // namespace

TEST(CommTopics, LevelsOfReceivedTopics) {
  zt::bus::CommTopicIds ids = zt::bus::parseCommTopic("nm/local/comm/pp/me/hello/you");
  EXPECT_EQ(ids.strMsgId, "hello");
  EXPECT_EQ(ids.strSourceAppId, "you");
  ids = zt::bus::parseCommTopic("nm/local/comm/bc/news/you");
  EXPECT_EQ(ids.strMsgId, "news");
  EXPECT_EQ(ids.strSourceAppId, "you");
  // Too few levels: nothing to look a callback up by.
  ids = zt::bus::parseCommTopic("nm/local/comm/pp/a/b");
  EXPECT_EQ(ids.strMsgId, "");
  EXPECT_EQ(ids.strSourceAppId, "");
  EXPECT_EQ(zt::bus::parseCommTopic("nm/local/comm/bc/news").strMsgId, "");
  EXPECT_EQ(zt::bus::parseCommTopic("other/topic/a/b/c/d/e").strMsgId, "");
  // Empty levels count; over-long ones are cut to 36 characters.
  ids = zt::bus::parseCommTopic(("nm/local/comm/pp/me//" + std::string(40, 's')).c_str());
  EXPECT_EQ(ids.strMsgId, "");
  EXPECT_EQ(ids.strSourceAppId, std::string(36, 's'));
}

TEST_F(CommApi, TopicsCarryTheIdsAndTheHeadCarriesSnAndCommand) {
  const std::string strOwn(36, 'o'), strTo(36, 't'), strMsg(36, 'm');
  ASSERT_EQ(comm_init(strOwn.c_str()), 0);
  TestClient observer;
  BuslineHandle *pObserver = openPeer(observer);
  ASSERT_EQ(busline_subscribe(pObserver, "nm/local/comm/#", 0), 0);
  ASSERT_TRUE(zt::test::waitFor([&] {
    comm_publish(strTo.c_str(), strMsg.c_str(), "pp", 2, 0xFFFFFFFF, -7);
    return zt::test::waitFor([&] { return observer.messageCount() > 0; }, std::chrono::milliseconds(100));
  }));
  Received pp = observer.messages().front();
  EXPECT_EQ(pp.strTopic, "nm/local/comm/pp/" + strTo + "/" + strMsg + "/" + strOwn);
  EXPECT_EQ(pp.strTopic.size(), 127u);
  EXPECT_EQ(pp.strPayload, "pp");
  EXPECT_EQ(pp.uSN, 0xFFFFFFFFu);
  EXPECT_EQ(pp.nType, -7);
  EXPECT_FALSE(pp.bHasResponseTopic);
  size_t nBase = observer.messageCount();
  ASSERT_EQ(comm_publish_bc(strMsg.c_str(), "bc", 2, 9, 10), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return observer.messages().back().strPayload == "bc"; }));
  Received bc = observer.messages().back();
  EXPECT_EQ(bc.strTopic, "nm/local/comm/bc/" + strMsg + "/" + strOwn);
  EXPECT_EQ(bc.uSN, 9u);
  EXPECT_EQ(bc.nType, 10);
  EXPECT_GT(observer.messageCount(), nBase);

  const std::string str37(37, 'x');
  EXPECT_EQ(comm_init(str37.c_str()), -2);
  EXPECT_EQ(comm_publish(str37.c_str(), "m", "x", 1, 0, 0), -2);
  EXPECT_EQ(comm_publish("a", str37.c_str(), "x", 1, 0, 0), -2);
  EXPECT_EQ(comm_publish_bc(str37.c_str(), "x", 1, 0, 0), -2);
  EXPECT_EQ(comm_subscribe(str37.c_str(), CommInbox::onMessage, nullptr), -2);
  EXPECT_EQ(comm_subscribe_bc("m", nullptr, nullptr), -2);
  // Ids are single topic levels.
  EXPECT_EQ(comm_publish("a/b", "m", "x", 1, 0, 0), -2);
  EXPECT_EQ(comm_subscribe("+", CommInbox::onMessage, nullptr), -2);
  EXPECT_EQ(comm_publish_bc("#", "x", 1, 0, 0), -2);
  // Null or empty ids are refused, never read.
  EXPECT_EQ(comm_unsubscribe(nullptr), -2);
  EXPECT_EQ(comm_unsubscribe_bc(""), -2);
  EXPECT_EQ(comm_init(nullptr), -2);
  // A missing payload only goes with size 0.
  EXPECT_EQ(comm_publish("a", "m", nullptr, 5, 0, 0), -2);
  EXPECT_EQ(comm_publish_bc("m", nullptr, 1, 0, 0), -2);
  EXPECT_EQ(comm_publish("a", "m", "x", -1, 0, 0), -2);
  EXPECT_EQ(comm_publish("a", "m", nullptr, 0, 0, 0), 0);
  comm_exit();
  busline_exit(pObserver);
}

// Point to point reaches only the application it names; broadcast reaches every subscriber;
// one message id has one callback, whichever kind subscribed it last.
TEST_F(CommApi, PointToPointBroadcastAndOneCallbackPerMessageId) {
  ASSERT_EQ(comm_init("alpha"), 0);
  TestClient peer;
  BuslineHandle *pPeer = openPeer(peer);
  CommInbox direct, news;
  ASSERT_EQ(zt::test::waitFor([&] { return comm_subscribe("cmd", CommInbox::onMessage, &direct) == 0; }),
            true);
  ASSERT_TRUE(sendUntilDelivered(
      [&] { busline_publish(pPeer, "nm/local/comm/pp/alpha/cmd/beta", "hi", 2, 0, 0, 41, 42, nullptr); },
      direct));
  CommMessage first = direct.messages().front();
  EXPECT_EQ(first.strSourceAppId, "beta");
  EXPECT_EQ(first.strMsgId, "cmd");
  EXPECT_EQ(first.uSN, 41u);
  EXPECT_EQ(first.nCmd, 42);
  EXPECT_EQ(first.strPayload, "hi");

  ASSERT_EQ(comm_subscribe_bc("news", CommInbox::onMessage, &news), 0);
  ASSERT_TRUE(sendUntilDelivered(
      [&] { busline_publish(pPeer, "nm/local/comm/bc/news/beta", "all", 3, 0, 0, 1, 2, nullptr); }, news));
  EXPECT_EQ(news.messages().front().strSourceAppId, "beta");
  // Addressed to another application: not delivered. The own message sent after it is.
  size_t nBase = direct.count();
  ASSERT_EQ(busline_publish(pPeer, "nm/local/comm/pp/gamma/cmd/beta", "not mine", 8, 0, 0, 0, 0, nullptr), 0);
  ASSERT_EQ(comm_publish("alpha", "cmd", "self", 4, 3, 4), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return direct.count() > nBase; }));
  EXPECT_EQ(direct.messages().back().strPayload, "self");
  EXPECT_EQ(direct.messages().back().strSourceAppId, "alpha");

  // The broadcast subscription of "cmd" takes over its callback for both kinds.
  CommInbox second;
  ASSERT_EQ(comm_subscribe_bc("cmd", CommInbox::onMessage, &second), 0);
  ASSERT_TRUE(sendUntilDelivered([&] { comm_publish_bc("cmd", "bc", 2, 0, 0); }, second));
  nBase = second.count();
  ASSERT_EQ(comm_publish("alpha", "cmd", "pp", 2, 0, 0), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return second.count() > nBase; }));
  EXPECT_EQ(second.messages().back().strPayload, "pp");
  EXPECT_EQ(direct.messages().back().strPayload, "self");

  // Without a callback the message is logged and dropped, though the subscription is still there.
  LogCapture log;
  ASSERT_EQ(comm_unsubscribe("cmd"), 0);
  ASSERT_EQ(comm_publish_bc("cmd", "lost", 4, 0, 0), 0);
  EXPECT_TRUE(zt::test::waitFor([&] {
    return log.has(4,
                   "comm_nm_mqtt_recv_message_callback,pstrSourceTopic=nm/local/comm/bc/cmd/alpha,not find "
                   "callback!!!!!!");
  }));
  EXPECT_EQ(second.messages().back().strPayload, "pp");
  for (const CommMessage &message : direct.messages()) {
    EXPECT_NE(message.strPayload, "not mine");
  }
  comm_exit();
  busline_exit(pPeer);
}

namespace {

// Answers every "ping" with a "pong" to its sender, from inside the callback.
void answerPing(const char *pstrSourceAppId, const char *, uint32_t uSN, int nCmd, const void *pMessage,
                int nSize, void *) {
  comm_publish(pstrSourceAppId, "pong", pMessage, nSize, uSN + 1, nCmd + 1);
}

// Tries to close the session from inside its own callback, then records the message.
void exitInCallback(const char *pstrSourceAppId, const char *pstrMsgId, uint32_t uSN, int nCmd,
                    const void *pMessage, int nSize, void *pUserData) {
  comm_exit();
  CommInbox::onMessage(pstrSourceAppId, pstrMsgId, uSN, nCmd, pMessage, nSize, pUserData);
}

} // namespace

TEST_F(CommApi, ReferenceCountAndCallbacksThatCallTheApi) {
  ASSERT_EQ(comm_init("one"), 0);
  ASSERT_EQ(comm_init("two"), 0); // counted; the id stays "one"
  CommInbox pongs, quits;
  ASSERT_TRUE(zt::test::waitFor([&] { return comm_subscribe("ping", answerPing, nullptr) == 0; }));
  ASSERT_EQ(comm_subscribe("pong", CommInbox::onMessage, &pongs), 0);
  ASSERT_EQ(comm_subscribe("quit", exitInCallback, &quits), 0);
  ASSERT_TRUE(sendUntilDelivered([&] { comm_publish("one", "ping", "p", 1, 10, 20); }, pongs));
  CommMessage pong = pongs.messages().front();
  EXPECT_EQ(pong.strSourceAppId, "one");
  EXPECT_EQ(pong.strPayload, "p");
  EXPECT_EQ(pong.uSN, 11u);
  EXPECT_EQ(pong.nCmd, 21);

  comm_exit(); // matches the second comm_init: the session stays
  EXPECT_EQ(comm_publish("one", "ping", "again", 5, 0, 0), 0);
  // Closing the session from its own callback is refused, and it lives on.
  LogCapture log;
  ASSERT_EQ(comm_publish("one", "quit", "q", 1, 0, 0), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return quits.count() == 1; }));
  EXPECT_TRUE(log.has(3, "comm_exit,called from a callback of the same handle,refused"));
  ASSERT_EQ(comm_publish("one", "ping", "alive", 5, 0, 0), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return pongs.messages().back().strPayload == "alive"; }));

  comm_exit();
  EXPECT_EQ(comm_publish("one", "ping", "gone", 4, 0, 0), -2);
  EXPECT_EQ(comm_subscribe("pong", CommInbox::onMessage, &pongs), -2);
  comm_exit(); // one too many: nothing happens
}
