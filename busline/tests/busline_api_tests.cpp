// The exported functions of libbusline.so against the real local broker.
#include <gtest/gtest.h>
#include <string>

#include "broker.h"
#include "busline.h"
#include "busline_test_client.h"

using busline::test::Received;
using busline::test::TestClient;

namespace {

class BuslineApi : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_pBroker = new zt::test::Broker;
    ASSERT_TRUE(s_pBroker->start());
  }
  static void TearDownTestSuite() {
    delete s_pBroker;
    s_pBroker = nullptr;
  }

  // A connected handle whose callbacks report to client.
  BuslineHandle *open(TestClient &client, int nProtocol, int nUseHead = 1) {
    BuslineHandle *pHandle = busline_init("127.0.0.1", s_pBroker->port(), nullptr, 1, nProtocol, nUseHead,
                                          TestClient::onConnect, TestClient::onMessage, &client);
    EXPECT_NE(pHandle, nullptr);
    EXPECT_TRUE(client.waitStatus(0));
    return pHandle;
  }

  static zt::test::Broker *s_pBroker;
};

zt::test::Broker *BuslineApi::s_pBroker = nullptr;

// The message with this payload among those received (the QoS levels may overtake each other).
Received findPayload(const TestClient &client, const std::string &strPayload) {
  for (const Received &received : client.messages()) {
    if (received.strPayload == strPayload) {
      return received;
    }
  }
  ADD_FAILURE() << "not received: " << strPayload;
  return Received();
}

// Subscribes the receiver and waits until a probe from the sender arrives through it.
void subscribeAndProbe(BuslineHandle *pSender, BuslineHandle *pReceiver, TestClient &receiver,
                       const std::string &strTopic, int nQos = 1) {
  ASSERT_EQ(busline_subscribe(pReceiver, strTopic.c_str(), nQos), 0);
  size_t nBase = receiver.messageCount();
  ASSERT_TRUE(zt::test::waitFor([&] {
    busline_publish(pSender, strTopic.c_str(), "probe", 5, 0, 0, 0, 0, nullptr);
    return zt::test::waitFor([&] { return receiver.messageCount() > nBase; }, std::chrono::milliseconds(100));
  }));
}

// Sends three messages from one handle to another of the same protocol and checks what arrives.
void roundTrip(BuslineHandle *pSender, BuslineHandle *pReceiver, TestClient &receiver,
               const std::string &strTopic) {
  subscribeAndProbe(pSender, pReceiver, receiver, strTopic);
  size_t nBase = receiver.messageCount();
  ASSERT_EQ(busline_publish(pSender, strTopic.c_str(), "payload-1", 9, 2, 0, 0xFFFFFFFF, -1, "reply/to"), 0);
  ASSERT_EQ(busline_publish(pSender, strTopic.c_str(), "payload-2", 9, 1, 0, 5, 6, ""), 0);
  ASSERT_EQ(busline_publish(pSender, strTopic.c_str(), "payload-3", 9, 0, 0, 7, 8, nullptr), 0);
  ASSERT_TRUE(receiver.waitMessages(nBase + 3));
  Received first = findPayload(receiver, "payload-1");
  EXPECT_EQ(first.strTopic, strTopic);
  EXPECT_EQ(first.nQos, 1);
  EXPECT_EQ(first.uSN, 0xFFFFFFFFu);
  EXPECT_EQ(first.nType, -1);
  EXPECT_TRUE(first.bHasResponseTopic);
  EXPECT_EQ(first.strResponseTopic, "reply/to");
  Received second = findPayload(receiver, "payload-2");
  EXPECT_EQ(second.uSN, 5u);
  EXPECT_EQ(second.nType, 6);
  Received third = findPayload(receiver, "payload-3");
  EXPECT_EQ(third.uSN, 7u);
  EXPECT_EQ(third.nType, 8);
  EXPECT_FALSE(third.bHasResponseTopic);
}

} // namespace

TEST_F(BuslineApi, RoundTripWithPropertiesUnderMqtt5) {
  TestClient sender, receiver;
  BuslineHandle *pSender = open(sender, 5);
  BuslineHandle *pReceiver = open(receiver, 5);
  roundTrip(pSender, pReceiver, receiver, "test/v5");
  // The property form sends no response topic for an empty one.
  EXPECT_FALSE(findPayload(receiver, "payload-2").bHasResponseTopic);
  busline_exit(pSender);
  busline_exit(pReceiver);
}

TEST_F(BuslineApi, RoundTripWithHeadUnderMqtt311) {
  TestClient sender, receiver;
  BuslineHandle *pSender = open(sender, 4);
  BuslineHandle *pReceiver = open(receiver, 4);
  roundTrip(pSender, pReceiver, receiver, "test/v311");
  // The head form carries an empty response topic as an empty text.
  Received second = findPayload(receiver, "payload-2");
  EXPECT_TRUE(second.bHasResponseTopic);
  EXPECT_EQ(second.strResponseTopic, "");
  busline_exit(pSender);
  busline_exit(pReceiver);
}
