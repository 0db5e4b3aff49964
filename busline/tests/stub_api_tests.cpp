// The management stub API against the real broker, which ZT_LOCAL_BROKER points the session at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "broker_suite.h"
#include "busline_stub.h"
#include "busline_test_client.h"
#include "local_broker_address.h"
#include "local_session.h"

using zt::bus::test::LogCapture;
using zt::bus::test::Received;
using zt::bus::test::TestClient;

namespace {

// The stub's callbacks carry no user data: they report to these.
TestClient g_subscriber; // messages of nm_stub_subscribe
std::mutex g_mutex;      // guards the two below
// Each connection status with the number of messages g_subscriber had received by then: both
// callbacks run on the stub's network thread, so this tells which messages came after it.
std::vector<std::pair<int, size_t>> g_vecStatuses;
std::vector<std::pair<std::string, std::string>> g_vecRequests; // topic, payload

int recordStatus(int nStatus) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_vecStatuses.emplace_back(nStatus, g_subscriber.messageCount());
  return 0;
}

size_t statusCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_vecStatuses.size();
}

// Waits for a status event after the first nFrom events.
bool waitStatus(int nStatus, size_t nFrom, int nTimeoutMs = 10000) {
  return zt::test::waitFor(
      [&] {
        std::lock_guard<std::mutex> lock(g_mutex);
        return std::any_of(g_vecStatuses.begin() + long(std::min(nFrom, g_vecStatuses.size())),
                           g_vecStatuses.end(), [&](const auto &status) { return status.first == nStatus; });
      },
      std::chrono::milliseconds(nTimeoutMs));
}

void recordRequest(const char *pstrTopic, const void *pData, int nSize) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_vecRequests.emplace_back(pstrTopic, std::string(static_cast<const char *>(pData), size_t(nSize)));
}

bool requested(const std::string &strTopic, const std::string &strPayload) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return std::find(g_vecRequests.begin(), g_vecRequests.end(), std::make_pair(strTopic, strPayload)) !=
         g_vecRequests.end();
}

void forwardToSubscriber(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                         uint32_t uSN, int32_t nType, const char *pstrResponseTopic, void *) {
  TestClient::onMessage(pstrTopic, pMessage, nSize, nQos, nRetain, uSN, nType, pstrResponseTopic,
                        &g_subscriber);
}

void pointAtBroker(const zt::test::Broker &broker) {
  setenv("ZT_LOCAL_BROKER", ("127.0.0.1:" + std::to_string(broker.port())).c_str(), 1);
}

std::string upstreamTopic() {
  char szMac[18] = "";
  return std::string("nm/up/stub-nms/") + (nm_get_mac_addr_by_netname(szMac, nullptr) == 0 ? szMac : "");
}

using HandlePtr = std::unique_ptr<BuslineHandle, decltype(&busline_exit)>;

// A plain session with the message head, subscribed to the filters, whose subscriptions are
// known to work once it returns (it receives its own probe).
HandlePtr openObserver(TestClient &client, int nPort, const std::vector<std::string> &vecFilters,
                       const std::string &strProbeTopic) {
  HandlePtr pHandle(busline_init("127.0.0.1", nPort, nullptr, 1, 4, 1, TestClient::onConnect,
                                 TestClient::onMessage, &client),
                    busline_exit);
  EXPECT_TRUE(client.waitStatus(0));
  for (const std::string &strFilter : vecFilters) {
    EXPECT_EQ(busline_subscribe(pHandle.get(), strFilter.c_str(), 2), 0);
  }
  EXPECT_TRUE(zt::test::waitFor([&] {
    busline_publish(pHandle.get(), strProbeTopic.c_str(), "probe", 5, 0, 0, 0, 0, nullptr);
    return zt::test::waitFor([&] { return client.messageCount() > 0; }, std::chrono::milliseconds(100));
  }));
  return pHandle;
}

// The messages received on the topic, probes left out, in arrival order.
std::vector<Received> receivedOn(const TestClient &client, const std::string &strTopic) {
  std::vector<Received> vecOn;
  for (const Received &received : client.messages()) {
    if (received.strTopic == strTopic && received.strPayload != "probe") {
      vecOn.push_back(received);
    }
  }
  return vecOn;
}

// "topic=payload" of the messages from index nFrom on, in arrival order.
std::vector<std::string> topicsAndPayloads(const TestClient &client, size_t nFrom) {
  std::vector<Received> vecAll = client.messages();
  std::vector<std::string> vec;
  for (size_t i = nFrom; i < vecAll.size(); ++i) {
    vec.push_back(vecAll[i].strTopic + "=" + vecAll[i].strPayload);
  }
  return vec;
}

class StubApi : public zt::test::BrokerSuite {
protected:
  void SetUp() override {
    pointAtBroker(broker());
    nm_stub_set_connect_callback(recordStatus);
  }
  void TearDown() override {
    nm_stub_exit();
    nm_stub_set_connect_callback(nullptr);
    zt::bus::setLocalSessionTiming(zt::bus::SessionTiming());
    unsetenv("ZT_LOCAL_BROKER");
  }
};

} // namespace

TEST(StubApiBeforeInit, EveryCallIsRefused) {
  EXPECT_EQ(nm_stub_register("res", recordRequest), -4);
  EXPECT_EQ(nm_stub_register(nullptr, recordRequest), -2); // arguments are checked first
  EXPECT_EQ(nm_stub_unregister("res"), -4);
  EXPECT_EQ(nm_stub_notify("res", "x", 1), -4);
  EXPECT_EQ(nm_stub_notify_retained("res", "x", 1), -4);
  EXPECT_EQ(nm_stub_publish("res", "x", 1, 0), -4);
  EXPECT_EQ(nm_stub_subscribe("res", 0, forwardToSubscriber), -4);
  EXPECT_EQ(nm_stub_unsubscribe("res"), -4);
  EXPECT_EQ(nm_stub_publish_2("res", "x", 1, 0, 0, 0, 0, nullptr), -4);
  EXPECT_EQ(nm_stub_publish_3("res", "x", 1, 0, 0, 0, 0, nullptr), -4);
  nm_stub_exit();
}

TEST(StubApiWithoutBroker, InvalidLocalBrokerIsLoggedAndIgnored) {
  zt::bus::LocalBrokerAddress address;
  ASSERT_TRUE(zt::bus::parseLocalBrokerAddress("10.1.2.3:65535", address));
  EXPECT_EQ(address.strHost, "10.1.2.3");
  EXPECT_EQ(address.nPort, 65535);
  for (const char *pstrBad : {"localhost:1883", "127.0.0.1", "127.0.0.1:0", "127.0.0.1:65536", "1.2.3:1883",
                              "256.1.1.1:1883", "127.0.0.1:18a3", "127.0.0.1:-1", ":1883", "127.0.0.1:"}) {
    EXPECT_FALSE(zt::bus::parseLocalBrokerAddress(pstrBad, address)) << pstrBad;
  }
  EXPECT_EQ(address.strHost, "10.1.2.3"); // untouched by the failures

  LogCapture log;
  setenv("ZT_LOCAL_BROKER", "localhost:1883", 1);
  EXPECT_EQ(zt::bus::localBrokerAddress("nm_stub_init").strHost, "127.0.0.1");
  ASSERT_EQ(nm_stub_init(), 0);
  EXPECT_EQ(log.count(4, "nm_stub_init,ZT_LOCAL_BROKER=localhost:1883 invalid,using 127.0.0.1:1883"), 2u);
  nm_stub_exit();
  unsetenv("ZT_LOCAL_BROKER");
}

namespace {

int initAndExitOnDisconnect(int nStatus) {
  if (nStatus == 1) {
    nm_stub_init();
    nm_stub_exit();
  }
  return recordStatus(nStatus);
}

} // namespace

// A first connect that fails reports status 1 while nm_stub_init is still opening the session:
// the callback's own calls neither wait for that opening nor stop the session.
TEST(StubApiWithoutBroker, CallbacksDuringTheFirstFailedConnectDoNotHang) {
  LogCapture log;
  setenv("ZT_LOCAL_BROKER", ("127.0.0.1:" + std::to_string(zt::test::freeTcpPort())).c_str(), 1);
  nm_stub_set_connect_callback(initAndExitOnDisconnect);
  ASSERT_EQ(nm_stub_init(), 0);
  EXPECT_TRUE(log.has(3, "nm_stub_exit,called from a callback of the session being opened,refused"));
  EXPECT_EQ(nm_stub_publish_3("res", "x", 1, 0, 0, 0, 0, nullptr), -9); // open, not connected
  nm_stub_exit();
  EXPECT_EQ(nm_stub_publish_3("res", "x", 1, 0, 0, 0, 0, nullptr), -4);
  nm_stub_set_connect_callback(nullptr);
  unsetenv("ZT_LOCAL_BROKER");
}

TEST_F(StubApi, RegistrationNotificationAndRequestsOnTheResourceTopic) {
  size_t nEvents = statusCount();
  ASSERT_EQ(nm_stub_init(), 0);
  ASSERT_EQ(nm_stub_init(), 0); // once only
  ASSERT_TRUE(waitStatus(0, nEvents));
  TestClient observer;
  const std::string strUp = upstreamTopic();
  HandlePtr pObserver = openObserver(observer, broker().port(), {"dev/#", "nm/up/stub-nms/#"}, "dev/probe");

  ASSERT_EQ(nm_stub_register("dev/door", recordRequest), 0);
  ASSERT_EQ(nm_stub_notify("dev/door", "open", 4), 0);
  ASSERT_EQ(nm_stub_publish("dev/door", "state", 5, 7), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return receivedOn(observer, strUp).size() == 2; }));
  std::vector<Received> vecUp = receivedOn(observer, strUp);
  EXPECT_EQ(vecUp[0].strPayload, std::string("dev/door", 9)); // with its zero byte
  EXPECT_EQ(vecUp[0].nType, 100);
  EXPECT_EQ(vecUp[0].nQos, 1);
  EXPECT_EQ(vecUp[0].strResponseTopic, "dev/door");
  EXPECT_EQ(vecUp[1].strPayload, "open");
  EXPECT_EQ(vecUp[1].nType, 101);
  EXPECT_EQ(vecUp[1].nQos, 2);
  EXPECT_EQ(vecUp[1].strResponseTopic, "dev/door");
  ASSERT_TRUE(zt::test::waitFor([&] { return receivedOn(observer, "dev/door").size() == 1; }));
  Received plain = receivedOn(observer, "dev/door").front();
  EXPECT_EQ(plain.strPayload, "state");
  EXPECT_EQ(plain.nType, 7);
  EXPECT_EQ(plain.nQos, 1);
  EXPECT_FALSE(plain.bHasResponseTopic);

  // Requests on the resource topic reach its callback; after unregistering they do not.
  ASSERT_TRUE(zt::test::waitFor([&] {
    busline_publish(pObserver.get(), "dev/door", "request", 7, 1, 0, 0, 0, nullptr);
    return zt::test::waitFor([&] { return requested("dev/door", "request"); },
                             std::chrono::milliseconds(100));
  }));
  ASSERT_EQ(nm_stub_subscribe("any/topic", 1, forwardToSubscriber), 0);
  ASSERT_EQ(nm_stub_unregister("dev/door"), 0);
  ASSERT_EQ(busline_publish(pObserver.get(), "dev/door", "late", 4, 1, 0, 0, 0, nullptr), 0);
  ASSERT_TRUE(zt::test::waitFor([&] {
    busline_publish(pObserver.get(), "any/topic", "after", 5, 1, 0, 12, 13, "reply");
    return zt::test::waitFor([&] { return g_subscriber.messageCount() > 0; }, std::chrono::milliseconds(100));
  }));
  EXPECT_FALSE(requested("dev/door", "late"));
  Received any = g_subscriber.messages().front();
  EXPECT_EQ(any.strPayload, "after");
  EXPECT_EQ(any.uSN, 12u);
  EXPECT_EQ(any.nType, 13);
  EXPECT_EQ(any.strResponseTopic, "reply");
  EXPECT_EQ(nm_stub_unsubscribe("any/topic"), 0);
}

TEST_F(StubApi, ArgumentLimits) {
  size_t nEvents = statusCount();
  ASSERT_EQ(nm_stub_init(), 0);
  ASSERT_TRUE(waitStatus(0, nEvents));
  const std::string str128(128, 'r'), str129(129, 'r');
  EXPECT_EQ(nm_stub_register(str128.c_str(), recordRequest), 0);
  EXPECT_EQ(nm_stub_notify(str128.c_str(), "x", 1), 0);
  EXPECT_EQ(nm_stub_publish(str128.c_str(), "x", 1, 0), 0);
  EXPECT_EQ(nm_stub_register(str129.c_str(), recordRequest), -2);
  EXPECT_EQ(nm_stub_register("res", nullptr), -2);
  EXPECT_EQ(nm_stub_notify(str129.c_str(), "x", 1), -2);
  EXPECT_EQ(nm_stub_notify_retained(str129.c_str(), "x", 1), -2);
  EXPECT_EQ(nm_stub_publish(str129.c_str(), "x", 1, 0), -2);
  // Null or empty ids and topics are refused, never read.
  EXPECT_EQ(nm_stub_unregister(nullptr), -2);
  EXPECT_EQ(nm_stub_unregister(""), -2);
  EXPECT_EQ(nm_stub_subscribe(nullptr, 0, forwardToSubscriber), -2);
  EXPECT_EQ(nm_stub_subscribe("", 0, forwardToSubscriber), -2);
  EXPECT_EQ(nm_stub_unsubscribe(nullptr), -2);
  // A missing payload only goes with size 0, and no size is negative.
  EXPECT_EQ(nm_stub_notify("res", nullptr, 3), -2);
  EXPECT_EQ(nm_stub_notify_retained("res", nullptr, 3), -2);
  EXPECT_EQ(nm_stub_notify_retained("res", "x", -1), -2);
  EXPECT_EQ(nm_stub_publish("res", nullptr, 3, 0), -2);
  EXPECT_EQ(nm_stub_publish_2("res", nullptr, 3, 0, 0, 0, 0, nullptr), -2);
  EXPECT_EQ(nm_stub_publish_3("res", nullptr, 3, 0, 0, 0, 0, nullptr), -2);
  EXPECT_EQ(nm_stub_publish_3("res", nullptr, 0, 0, 0, 0, 0, nullptr), 0);
  EXPECT_EQ(nm_stub_unregister(str128.c_str()), 0);
}

// The broker loses every retained message when it restarts; the stub publishes the last state
// of each resource again, in resource-id order, also for a resource no longer registered.
// The stub's own subscriptions to the state topics watch this: they are made again before the
// states go out, so the broker hands the states back in the order they were sent.
TEST_F(StubApi, RetainedStatesArePublishedAgainAfterTheBrokerRestarts) {
  zt::test::Broker restarting;
  ASSERT_TRUE(restarting.start());
  pointAtBroker(restarting);
  zt::bus::setLocalSessionTiming(zt::bus::SessionTiming{
      std::chrono::milliseconds(300), std::chrono::milliseconds(50), std::chrono::milliseconds(100)});
  size_t nEvents = statusCount();
  ASSERT_EQ(nm_stub_init(), 0);
  ASSERT_TRUE(waitStatus(0, nEvents));
  ASSERT_EQ(nm_stub_subscribe("state/a", 2, forwardToSubscriber), 0);
  ASSERT_EQ(nm_stub_subscribe("state/b", 2, forwardToSubscriber), 0);
  ASSERT_EQ(nm_stub_register("state/c", recordRequest), 0);
  ASSERT_EQ(nm_stub_notify_retained("state/b", "b1", 2), 0);
  ASSERT_EQ(nm_stub_notify_retained("state/a", "a1", 2), 0);
  ASSERT_EQ(nm_stub_notify_retained("state/b", "b2", 2), 0);
  ASSERT_EQ(nm_stub_notify_retained("state/c", "c1", 2), 0);
  ASSERT_EQ(nm_stub_unregister("state/c"), 0);
  ASSERT_EQ(nm_stub_subscribe("state/c", 2, forwardToSubscriber), 0);
  // Everything sent before the restart has gone through once this last message is back.
  ASSERT_EQ(nm_stub_publish_3("state/a", "mark", 4, 2, 0, 0, 0, nullptr), 0);
  ASSERT_TRUE(zt::test::waitFor([&] {
    std::vector<Received> vec = g_subscriber.messages();
    return !vec.empty() && vec.back().strPayload == "mark";
  }));

  nEvents = statusCount();
  ASSERT_TRUE(restarting.restart());
  ASSERT_TRUE(waitStatus(1, nEvents));
  EXPECT_EQ(nm_stub_publish_3("state/x", "x", 1, 0, 0, 0, 0, nullptr), -9);
  ASSERT_TRUE(waitStatus(0, nEvents));
  size_t nBase = 0;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    nBase = g_vecStatuses.back().second;
  }
  const std::vector<std::string> vecStates{"state/a=a1", "state/b=b2", "state/c=c1"};
  ASSERT_TRUE(zt::test::waitFor([&] { return g_subscriber.messageCount() >= nBase + 3; }));
  EXPECT_EQ(topicsAndPayloads(g_subscriber, nBase), vecStates);

  // A new subscriber gets them from the broker as retained messages, with their response topic.
  TestClient late;
  HandlePtr pLate = openObserver(late, restarting.port(), {"state/#"}, "state/probe");
  ASSERT_TRUE(zt::test::waitFor([&] { return late.messageCount() >= 4; }));
  std::vector<std::string> vecRetained;
  for (const Received &received : late.messages()) {
    if (received.nRetain == 1) {
      EXPECT_EQ(received.strResponseTopic, received.strTopic);
      vecRetained.push_back(received.strTopic + "=" + received.strPayload);
    }
  }
  std::sort(vecRetained.begin(), vecRetained.end());
  EXPECT_EQ(vecRetained, vecStates);

  // The states are kept for the next session, which publishes them as well.
  nm_stub_exit();
  nBase = late.messageCount();
  ASSERT_EQ(nm_stub_init(), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return late.messageCount() >= nBase + 3; }));
  EXPECT_EQ(topicsAndPayloads(late, nBase), vecStates);
}
