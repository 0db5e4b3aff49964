// Session behaviour against the real broker, with the session's waits shortened.
#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <string>

#include "broker.h"
#include "busline_handle.h"
#include "busline_test_client.h"
#include "tcp_relay.h"

using zt::bus::test::TestClient;

namespace {

const zt::bus::SessionTiming kFastTiming{std::chrono::milliseconds(300), std::chrono::milliseconds(50),
                                         std::chrono::milliseconds(100)};

zt::bus::SessionArgs argsFor(TestClient &client, int nProtocol) {
  zt::bus::SessionArgs args;
  args.nProtocol = nProtocol;
  args.pConnectCallback = TestClient::onConnect;
  args.pRecvMessageCallback = TestClient::onMessage;
  args.pUserData = &client;
  return args;
}

// An idle session with TLS against the test CA and the given credentials.
BuslineHandle *idleSession(TestClient &client, int nProtocol, const char *pstrPassword) {
  BuslineHandle *pHandle = zt::bus::initIdleSession(argsFor(client, nProtocol), kFastTiming);
  EXPECT_NE(pHandle, nullptr);
  EXPECT_EQ(busline_set_tls(pHandle, zt::test::Broker::caFile().c_str(), nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(busline_set_tls_option(pHandle, 1, 1, nullptr, nullptr), 0);
  EXPECT_EQ(busline_set_user_pwd(pHandle, "root", pstrPassword), 0);
  return pHandle;
}

// Publishes nCount QoS 2 messages "0", "1", ... on the topic.
void publishNumbered(BuslineHandle *pSender, const char *pstrTopic, int nCount) {
  for (int i = 0; i < nCount; ++i) {
    std::string strPayload = std::to_string(i);
    ASSERT_EQ(
        busline_publish(pSender, pstrTopic, strPayload.data(), int(strPayload.size()), 2, 0, 0, 0, nullptr),
        0);
  }
}

// The distinct payloads received on the topic.
std::set<std::string> payloadsOn(const TestClient &client, const std::string &strTopic) {
  std::set<std::string> setPayloads;
  for (const auto &message : client.messages()) {
    if (message.strTopic == strTopic) {
      setPayloads.insert(message.strPayload);
    }
  }
  return setPayloads;
}

bool probeUntilReceived(BuslineHandle *pSender, TestClient &receiver, const char *pstrTopic) {
  size_t nBase = receiver.messageCount();
  return zt::test::waitFor([&] {
    busline_publish(pSender, pstrTopic, "probe", 5, 0, 0, 0, 0, nullptr);
    return zt::test::waitFor([&] { return receiver.messageCount() > nBase; }, std::chrono::milliseconds(100));
  });
}

// Connects a receiver subscribed to pstrFilter and a sender (through nSenderPort), and returns
// once a probe on pstrProbeTopic has gone from one to the other.
void connectPair(int nBrokerPort, int nSenderPort, const char *pstrFilter, int nQos,
                 const char *pstrProbeTopic, TestClient &receiver, BuslineHandle *&pReceiver,
                 TestClient &sender, BuslineHandle *&pSender) {
  pReceiver = zt::bus::initConnectedSession("127.0.0.1", nBrokerPort, argsFor(receiver, 5), kFastTiming);
  ASSERT_TRUE(receiver.waitStatus(0));
  ASSERT_EQ(busline_subscribe(pReceiver, pstrFilter, nQos), 0);
  pSender = zt::bus::initConnectedSession("127.0.0.1", nSenderPort, argsFor(sender, 5), kFastTiming);
  ASSERT_TRUE(sender.waitStatus(0));
  ASSERT_TRUE(probeUntilReceived(pSender, receiver, pstrProbeTopic));
}

} // namespace

TEST(Session, ProtocolOutsideThreeToFiveBecomesMqtt311) {
  TestClient client;
  for (int nProtocol : {0, 6, -1}) {
    BuslineHandle *pHandle = zt::bus::initIdleSession(argsFor(client, nProtocol), kFastTiming);
    ASSERT_NE(pHandle, nullptr);
    EXPECT_EQ(pHandle->nProtocol, 4);
    busline_exit(pHandle);
  }
  BuslineHandle *pHandle = zt::bus::initIdleSession(argsFor(client, 3), kFastTiming);
  EXPECT_EQ(pHandle->nProtocol, 3);
  busline_exit(pHandle);
}

TEST(Session, DuplicateSubscriptionsStayUntilOneUnsubscribe) {
  TestClient client;
  BuslineHandle *pHandle = zt::bus::initIdleSession(argsFor(client, 5), kFastTiming);
  // Not connected: the library refuses, the entries stay for the next connection.
  EXPECT_EQ(busline_subscribe(pHandle, "a/b", 1), -3);
  EXPECT_EQ(busline_subscribe(pHandle, "a/b", 1), -3);
  EXPECT_EQ(busline_subscribe(pHandle, "a/c", 0), -3);
  EXPECT_EQ(pHandle->pZtMosquittoSdk->subscriptionCount(), 3u);
  busline_unsubscribe(pHandle, "a/b");
  EXPECT_EQ(pHandle->pZtMosquittoSdk->subscriptionCount(), 1u);
  busline_exit(pHandle);
}

TEST(Session, ExitWithoutEverConnectingReturnsAtOnce) {
  TestClient client;
  BuslineHandle *pHandle = zt::bus::initIdleSession(argsFor(client, 4), kFastTiming);
  auto start = std::chrono::steady_clock::now();
  busline_exit(pHandle);
  // Nothing was published, so nothing waits for the two-second acknowledgement wait.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_TRUE(client.statuses().empty());
}

TEST(Session, SubscriptionMadeBeforeConnectTakesEffectOnAcknowledgement) {
  zt::test::Broker broker;
  ASSERT_TRUE(broker.start());
  TestClient receiver, sender;
  BuslineHandle *pReceiver = idleSession(receiver, 5, "rbqe705316!$&^");
  EXPECT_EQ(busline_subscribe(pReceiver, "early/topic", 1), -3);
  EXPECT_EQ(busline_connect(pReceiver, "127.0.0.1", broker.port(), 0, nullptr), 0);
  ASSERT_TRUE(receiver.waitStatus(0));
  EXPECT_EQ(busline_get_connect_state(pReceiver), 1);
  BuslineHandle *pSender = idleSession(sender, 5, "rbqe705316!$&^");
  // The will's property list passes to the library.
  EXPECT_EQ(busline_set_will(pSender, "will/topic", "bye", 3, 1, 0, 5, -1), 0);
  EXPECT_EQ(busline_set_will(pSender, "will/topic", "bye again", 9, 1, 0, 6, -1), 0);
  EXPECT_EQ(busline_connect(pSender, "127.0.0.1", broker.port(), 0, nullptr), 0);
  ASSERT_TRUE(sender.waitStatus(0));
  EXPECT_TRUE(probeUntilReceived(pSender, receiver, "early/topic"));
  busline_exit(pSender);
  busline_exit(pReceiver);
}

// The broker goes away and comes back: status 1, then 0, and the subscriptions work again.
TEST(Session, SubscriptionsAreReplayedAfterTheBrokerRestarts) {
  zt::test::Broker broker;
  ASSERT_TRUE(broker.start());
  TestClient receiver, sender;
  zt::bus::SessionArgs receiverArgs = argsFor(receiver, 5);
  BuslineHandle *pReceiver =
      zt::bus::initConnectedSession("127.0.0.1", broker.port(), receiverArgs, kFastTiming);
  ASSERT_TRUE(receiver.waitStatus(0));
  ASSERT_EQ(busline_subscribe(pReceiver, "replay/one", 1), 0);
  ASSERT_EQ(busline_subscribe(pReceiver, "replay/two", 2), 0);
  BuslineHandle *pSender =
      zt::bus::initConnectedSession("127.0.0.1", broker.port(), argsFor(sender, 5), kFastTiming);
  ASSERT_TRUE(sender.waitStatus(0));
  ASSERT_TRUE(probeUntilReceived(pSender, receiver, "replay/one"));

  size_t nEvents = receiver.statuses().size();
  ASSERT_TRUE(broker.restart());
  ASSERT_TRUE(receiver.waitStatus(1, nEvents));
  ASSERT_TRUE(receiver.waitStatus(0, nEvents, 10000));
  ASSERT_TRUE(sender.waitStatus(0, 1, 10000));
  std::vector<int> vecStatus = receiver.statuses();
  EXPECT_EQ(vecStatus.front(), 0);
  EXPECT_EQ(vecStatus.back(), 0);

  EXPECT_TRUE(probeUntilReceived(pSender, receiver, "replay/one"));
  EXPECT_TRUE(probeUntilReceived(pSender, receiver, "replay/two"));
  busline_exit(pSender);
  busline_exit(pReceiver);
}

// A refused connection ends the library's loop: the user sees the refusing acknowledgement, the
// library's disconnection and the end of the loop, all as status 1 (never connected), and a new
// attempt after the wait.
TEST(Session, RefusedConnectionIsRetriedAfterTheWait) {
  zt::test::Broker broker;
  ASSERT_TRUE(broker.start());
  TestClient client;
  BuslineHandle *pHandle = idleSession(client, 5, "wrong password");
  EXPECT_EQ(busline_connect(pHandle, "127.0.0.1", broker.port(), 0, nullptr), 0);
  constexpr size_t kEventsPerAttempt = 3;
  ASSERT_TRUE(zt::test::waitFor([&] { return client.statuses().size() >= kEventsPerAttempt; }));
  // The wait began when the loop's event was reported, so no earlier than this.
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(zt::test::waitFor([&] { return client.statuses().size() > kEventsPerAttempt; }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(busline_get_connect_state(pHandle), 0);
  for (int nStatus : client.statuses()) {
    EXPECT_EQ(nStatus, 1);
  }
  busline_exit(pHandle);
}

// While the link is down the library keeps QoS 1 and 2 messages and sends them after
// reconnecting, so they are accepted; QoS 0 messages cannot be kept and are refused.
TEST(Session, PublishWhileTheLinkIsDownIsKeptForQosOneAndTwo) {
  zt::test::Broker broker;
  ASSERT_TRUE(broker.start());
  zt::test::TcpRelay relay(broker.port());
  ASSERT_TRUE(relay.start());
  TestClient receiver, sender;
  BuslineHandle *pReceiver = nullptr, *pSender = nullptr;
  connectPair(broker.port(), relay.port(), "kept/#", 2, "kept/probe", receiver, pReceiver, sender, pSender);
  ASSERT_FALSE(HasFatalFailure());

  size_t nEvents = sender.statuses().size();
  relay.cut();
  ASSERT_TRUE(sender.waitStatus(1, nEvents));
  ASSERT_EQ(busline_get_connect_state(pSender), 0);
  EXPECT_EQ(busline_publish(pSender, "kept/qos0", "zero", 4, 0, 0, 0, 0, nullptr), -3);
  EXPECT_EQ(busline_publish(pSender, "kept/qos1", "one", 3, 1, 0, 0, 0, nullptr), 0);
  EXPECT_EQ(busline_publish(pSender, "kept/qos2", "two", 3, 2, 0, 0, 0, nullptr), 0);
  ASSERT_TRUE(relay.restore());
  ASSERT_TRUE(zt::test::waitFor([&] { return !payloadsOn(receiver, "kept/qos2").empty(); }));
  ASSERT_TRUE(zt::test::waitFor([&] { return !payloadsOn(receiver, "kept/qos1").empty(); }));
  ASSERT_TRUE(probeUntilReceived(pSender, receiver, "kept/probe"));
  int nQos2 = 0;
  for (const auto &message : receiver.messages()) {
    nQos2 += message.strTopic == "kept/qos2" ? 1 : 0;
    EXPECT_NE(message.strTopic, "kept/qos0");
  }
  EXPECT_EQ(nQos2, 1);
  busline_exit(pSender);
  busline_exit(pReceiver);
}

// The broker passes a QoS 2 message on only after its handshake: an exit right after
// publishing still lets every handshake complete. The receiver subscribes at QoS 1, as the
// applications do.
TEST(Session, MessagesPublishedRightBeforeExitAreDelivered) {
  zt::test::Broker broker;
  ASSERT_TRUE(broker.start());
  TestClient receiver, sender;
  BuslineHandle *pReceiver = nullptr, *pSender = nullptr;
  connectPair(broker.port(), broker.port(), "last/words", 1, "last/words", receiver, pReceiver, sender,
              pSender);
  ASSERT_FALSE(HasFatalFailure());

  constexpr int kCount = 200;
  publishNumbered(pSender, "last/words", kCount);
  busline_exit(pSender);
  EXPECT_TRUE(zt::test::waitFor([&] { return payloadsOn(receiver, "last/words").size() == kCount + 1; }))
      << payloadsOn(receiver, "last/words").size() - 1 << " of " << kCount;
  busline_exit(pReceiver);
}

// Acknowledgements that cannot come do not hold up the exit: not when the broker is gone,
// and not past the wait when it is there but silent.
TEST(Session, ExitDoesNotWaitForAcknowledgementsThatCannotCome) {
  zt::bus::SessionTiming patientTiming = kFastTiming;
  patientTiming.acknowledgementWait = std::chrono::seconds(60);
  zt::bus::SessionTiming shortTiming = kFastTiming;
  shortTiming.acknowledgementWait = std::chrono::milliseconds(200);
  zt::test::Broker broker;
  ASSERT_TRUE(broker.start());

  TestClient gone;
  BuslineHandle *pGone =
      zt::bus::initConnectedSession("127.0.0.1", broker.port(), argsFor(gone, 5), patientTiming);
  ASSERT_TRUE(gone.waitStatus(0));
  publishNumbered(pGone, "gone/topic", 50);
  broker.stop();
  ASSERT_TRUE(gone.waitStatus(1));
  publishNumbered(pGone, "gone/topic", 5); // kept by the library for a connection that never comes
  auto start = std::chrono::steady_clock::now();
  busline_exit(pGone);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

  ASSERT_TRUE(broker.start());
  TestClient silent;
  BuslineHandle *pSilent =
      zt::bus::initConnectedSession("127.0.0.1", broker.port(), argsFor(silent, 5), shortTiming);
  ASSERT_TRUE(silent.waitStatus(0));
  ASSERT_EQ(kill(broker.pid(), SIGSTOP), 0);
  publishNumbered(pSilent, "silent/topic", 5);
  start = std::chrono::steady_clock::now();
  busline_exit(pSilent);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  kill(broker.pid(), SIGCONT);
}
