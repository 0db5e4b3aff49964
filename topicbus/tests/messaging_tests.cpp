// Publishing and receiving through the real broker: properties, limits, retain, QoS,
// no-local, messages without properties, and subscriptions across a broker restart.
#include <gtest/gtest.h>

#include <mosquitto.h>

#include "message_head.h"
#include "topicbus_fixture.h"

using namespace zt::tb;
using namespace zt::tb::test;

namespace {

class Messaging : public TopicbusSuite {
protected:
  void SetUp() override {
    m_pSubscriber = start(SecurityMode::Plain, m_subscriber);
    m_pPublisher = start(SecurityMode::Plain, m_publisher);
    ASSERT_TRUE(m_subscriber.waitStatus(0));
    ASSERT_TRUE(m_publisher.waitStatus(0));
  }
  void TearDown() override {
    EXPECT_EQ(ZTM2045_Exit(m_pSubscriber), 0);
    EXPECT_EQ(ZTM2045_Exit(m_pPublisher), 0);
  }
  std::vector<std::string> payloadsOn(const TestClient &client, const std::string &strTopic) {
    std::vector<std::string> vec;
    for (const Received &received : client.messages()) {
      if (received.strTopic == strTopic && received.strPayload != "probe") {
        vec.push_back(received.strPayload);
      }
    }
    return vec;
  }

  TestClient m_subscriber, m_publisher;
  TopicbusHandle *m_pSubscriber = nullptr;
  TopicbusHandle *m_pPublisher = nullptr;
};

TEST_F(Messaging, ArgumentsOutsideTheLimitsAreRefused) {
  std::string str128(128, 'r'), str129(129, 'r');
  ASSERT_TRUE(subscribed(m_pSubscriber, m_pPublisher, m_subscriber, "limits/t"));
  size_t nBefore = m_subscriber.messageCount();
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "limits/t", "ok", 2, 1, 0, 1, 2, str128.c_str()), 0);
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "limits/t", nullptr, 0, 1, 0, 1, 2, nullptr), 0);
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "limits/t", "x", 1, 1, 0, 1, 2, str129.c_str()), -2);
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "limits/t", nullptr, 4, 1, 0, 1, 2, nullptr), -2);
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "limits/t", "x", -1, 1, 0, 1, 2, nullptr), -2);
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "limits/t", "x", 1, 3, 0, 1, 2, nullptr), -2);
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, str129.c_str(), "x", 1, 1, 0, 1, 2, nullptr), -2);
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "", "x", 1, 1, 0, 1, 2, nullptr), -2);
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, nullptr, "x", 1, 1, 0, 1, 2, nullptr), -2);
  EXPECT_EQ(ZTM2045_Publish(nullptr, "limits/t", "x", 1, 1, 0, 1, 2, nullptr), -2);
  EXPECT_EQ(ZTM2045_Subscribe(m_pSubscriber, str129.c_str(), 0), -2);
  EXPECT_EQ(ZTM2045_Subscribe(m_pSubscriber, nullptr, 0), -2);
  EXPECT_EQ(ZTM2045_Subscribe(m_pSubscriber, "limits/q", 3), -2);
  EXPECT_EQ(ZTM2045_Unsubscribe(m_pSubscriber, ""), -2);
  EXPECT_EQ(ZTM2045_Unsubscribe(nullptr, "limits/t"), -2);

  // Only the two valid messages arrive: the long response topic whole, the empty payload empty.
  ASSERT_TRUE(m_subscriber.waitMessages(nBefore + 2));
  std::vector<Received> vec = m_subscriber.messages();
  EXPECT_EQ(vec[nBefore].strResponseTopic, str128);
  EXPECT_EQ(vec[nBefore + 1].strPayload, "");
  EXPECT_FALSE(vec[nBefore + 1].bHasResponseTopic);
}

// A message without properties is delivered whole, even when it looks like a message head.
TEST_F(Messaging, MessageWithoutPropertiesIsDeliveredWhole) {
  ASSERT_TRUE(subscribed(m_pSubscriber, m_pPublisher, m_subscriber, "plain/t"));
  zt::bus::HeadMessage head;
  ASSERT_TRUE(zt::bus::genBuslineMessage(5, 6, "body", 4, "head/reply", "10.0.0.1", head));

  mosquitto_lib_init();
  mosquitto *pMosq = mosquitto_new(nullptr, true, nullptr);
  ASSERT_NE(pMosq, nullptr);
  ASSERT_EQ(mosquitto_username_pw_set(pMosq, zt::bus::kFixedUserName, zt::bus::kFixedPassword), 0);
  ASSERT_EQ(mosquitto_connect(pMosq, "127.0.0.1", broker().plainPort(), 60), 0);
  size_t nBefore = m_subscriber.messageCount();
  ASSERT_EQ(mosquitto_publish(pMosq, nullptr, "plain/t", head.size(), head.data(), 1, false), 0);
  for (int i = 0; i < 100 && m_subscriber.messageCount() == nBefore; ++i) {
    mosquitto_loop(pMosq, 20, 1);
  }
  mosquitto_disconnect(pMosq);
  mosquitto_destroy(pMosq);
  mosquitto_lib_cleanup();

  ASSERT_TRUE(m_subscriber.waitMessages(nBefore + 1));
  Received received = m_subscriber.messages().back();
  EXPECT_EQ(received.strPayload,
            std::string(reinterpret_cast<const char *>(head.data()), size_t(head.size())));
  EXPECT_EQ(received.uSN, 0u);
  EXPECT_EQ(received.nType, 0);
  EXPECT_FALSE(received.bHasResponseTopic);
}

TEST_F(Messaging, RetainAndQualityOfService) {
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "retain/t", "kept", 4, 1, 1, 3, 4, nullptr), 0);
  ASSERT_TRUE(subscribed(m_pSubscriber, m_pPublisher, m_subscriber, "qos/t", 2));
  // The retained message reaches a subscription made after it, flagged as retained.
  TestClient late;
  TopicbusHandle *pLate = start(SecurityMode::Plain, late);
  ASSERT_TRUE(late.waitStatus(0));
  ASSERT_EQ(ZTM2045_Subscribe(pLate, "retain/t", 1), 0);
  ASSERT_TRUE(late.waitMessages(1));
  Received kept = late.messages().front();
  EXPECT_EQ(kept.strPayload, "kept");
  EXPECT_EQ(kept.nRetain, 1);
  EXPECT_EQ(kept.uSN, 3u);
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "retain/t", nullptr, 0, 1, 1, 0, 0, nullptr), 0); // clears it

  // Delivered at the lower of the publishing and the subscribing QoS.
  ASSERT_TRUE(subscribed(pLate, m_pPublisher, late, "qos/t", 0));
  for (int nQos = 0; nQos <= 2; ++nQos) {
    std::string strPayload = "q" + std::to_string(nQos);
    EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "qos/t", strPayload.c_str(), 2, nQos, 0, 0, 0, nullptr), 0);
  }
  ASSERT_TRUE(zt::test::waitFor([&] { return payloadsOn(m_subscriber, "qos/t").size() == 3; }));
  ASSERT_TRUE(zt::test::waitFor([&] { return payloadsOn(late, "qos/t").size() == 3; }));
  for (const Received &received : m_subscriber.messages()) {
    if (received.strTopic == "qos/t" && received.strPayload != "probe") {
      EXPECT_EQ(received.nQos, received.strPayload[1] - '0') << received.strPayload;
      EXPECT_EQ(received.nRetain, 0);
    }
  }
  for (const Received &received : late.messages()) {
    if (received.strTopic == "qos/t" && received.strPayload != "probe") {
      EXPECT_EQ(received.nQos, 0) << received.strPayload;
    }
  }
  EXPECT_EQ(ZTM2045_Exit(pLate), 0);
}

// A client does not receive what it publishes itself on a topic it subscribes to.
TEST_F(Messaging, OwnMessagesAreNotDeliveredBack) {
  ASSERT_TRUE(subscribed(m_pSubscriber, m_pPublisher, m_subscriber, "local/t"));
  ASSERT_TRUE(subscribed(m_pPublisher, m_pSubscriber, m_publisher, "local/t"));
  EXPECT_EQ(ZTM2045_Publish(m_pSubscriber, "local/t", "own", 3, 1, 0, 0, 0, nullptr), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return payloadsOn(m_publisher, "local/t").size() == 1; }));
  EXPECT_EQ(ZTM2045_Publish(m_pPublisher, "local/t", "other", 5, 1, 0, 0, 0, nullptr), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return !payloadsOn(m_subscriber, "local/t").empty(); }));
  EXPECT_EQ(payloadsOn(m_subscriber, "local/t"), std::vector<std::string>{"other"});
}

// Subscriptions come back by themselves when the broker restarts, with the status events.
TEST_F(Messaging, SubscriptionsSurviveABrokerRestart) {
  ASSERT_TRUE(subscribed(m_pSubscriber, m_pPublisher, m_subscriber, "restart/t", 1));
  size_t nEvents = m_subscriber.statuses().size();
  ASSERT_TRUE(broker().restart());
  ASSERT_TRUE(m_subscriber.waitStatus(1, nEvents));
  ASSERT_TRUE(m_subscriber.waitStatus(0, nEvents, 10000));
  ASSERT_TRUE(m_publisher.waitStatus(0, 1, 10000));
  EXPECT_EQ(m_subscriber.statuses().back(), 0);
  size_t nBefore = m_subscriber.messageCount();
  ASSERT_TRUE(zt::test::waitFor([&] {
    ZTM2045_Publish(m_pPublisher, "restart/t", "again", 5, 1, 0, 0, 0, nullptr);
    return zt::test::waitFor([&] { return m_subscriber.messageCount() > nBefore; },
                             std::chrono::milliseconds(100));
  }));
}

} // namespace
