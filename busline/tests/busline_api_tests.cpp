// The exported functions of libbusline.so against the real local broker.
#include <atomic>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <mutex>
#include <string>
#include <thread>

#include "broker_suite.h"
#include "busline.h"
#include "busline_test_client.h"

using zt::bus::test::LogCapture;
using zt::bus::test::Received;
using zt::bus::test::TestClient;

namespace {

class BuslineApi : public zt::test::BrokerSuite {
protected:
  // A connected handle whose callbacks report to client.
  BuslineHandle *open(TestClient &client, int nProtocol, int nUseHead = 1) {
    BuslineHandle *pHandle = busline_init("127.0.0.1", broker().port(), nullptr, 1, nProtocol, nUseHead,
                                          TestClient::onConnect, TestClient::onMessage, &client);
    EXPECT_NE(pHandle, nullptr);
    EXPECT_TRUE(client.waitStatus(0));
    return pHandle;
  }
};

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

// busline_init fixes the session's trust: a later TLS setting would be ignored by the MQTT
// library, so it is refused instead of reported as done.
TEST_F(BuslineApi, TlsSettingsOnABuiltInSessionAreRefused) {
  TestClient client;
  BuslineHandle *pHandle = open(client, 5);
  EXPECT_EQ(busline_set_tls(pHandle, zt::test::Broker::caFile().c_str(), nullptr, nullptr, nullptr), -3);
  EXPECT_EQ(busline_set_tls_option(pHandle, 1, 1, "tlsv1.3", nullptr), -3);
  EXPECT_TRUE(client.waitStatus(0));
  busline_exit(pHandle);
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

TEST_F(BuslineApi, BadHandlesAreRefusedAndLogged) {
  LogCapture log;
  EXPECT_EQ(busline_publish(nullptr, "t", "x", 1, 0, 0, 0, 0, nullptr), -2);
  EXPECT_TRUE(log.has(3, "busline_publish,pBuslineHandle or pZtMosquittoSdk is nullptr"));
  EXPECT_EQ(busline_subscribe(nullptr, "t", 0), -2);
  EXPECT_TRUE(log.has(3, "busline_subscribe,pBuslineHandle or pZtMosquittoSdk is nullptr"));
  EXPECT_EQ(busline_unsubscribe(nullptr, "t"), -2);
  EXPECT_EQ(busline_set_module(nullptr, "m"), -2);
  EXPECT_EQ(busline_connect(nullptr, nullptr, 0, 0, nullptr), -2);
  EXPECT_EQ(busline_set_will(nullptr, "t", "x", 1, 0, 0, 0, 0), -2);
  EXPECT_EQ(busline_clear_will(nullptr), -2);
  EXPECT_EQ(busline_set_tls(nullptr, nullptr, nullptr, nullptr, nullptr), -2);
  EXPECT_EQ(busline_set_tls_option(nullptr, 1, 1, nullptr, nullptr), -2);
  EXPECT_EQ(busline_set_tls_psk(nullptr, "id", "key", nullptr), -2);
  EXPECT_EQ(busline_set_user_pwd(nullptr, "u", "p"), -2);
  EXPECT_EQ(busline_set_reconnect_delay(nullptr, 1, 2, 0), -2);
  EXPECT_EQ(busline_get_connect_state(nullptr), 0);
  busline_exit(nullptr);
  EXPECT_TRUE(log.has(4, "busline_exit,pBuslineHandle is nullptr"));
}

TEST_F(BuslineApi, TopicAndQosRules) {
  TestClient client;
  BuslineHandle *pHandle = open(client, 5);
  LogCapture log;
  std::string str128(128, 'a');
  std::string str129(129, 'a');
  EXPECT_EQ(busline_subscribe(pHandle, str128.c_str(), 0), 0);
  EXPECT_EQ(busline_subscribe(pHandle, str129.c_str(), 0), -2);
  EXPECT_TRUE(log.has(3, "busline_subscribe,pstrTopic=" + str129 + ",nQos=0"));
  EXPECT_EQ(busline_subscribe(pHandle, "", 0), -2);
  EXPECT_EQ(busline_subscribe(pHandle, nullptr, 0), -2);
  EXPECT_EQ(busline_subscribe(pHandle, "t", 3), -2);
  EXPECT_EQ(busline_subscribe(pHandle, "t", -1), -2);
  EXPECT_EQ(busline_publish(pHandle, str128.c_str(), "x", 1, 0, 0, 0, 0, str128.c_str()), 0);
  EXPECT_EQ(busline_publish(pHandle, str129.c_str(), "x", 1, 0, 0, 0, 0, nullptr), -2);
  EXPECT_EQ(busline_publish(pHandle, "t", "x", 1, 0, 0, 0, 0, str129.c_str()), -2);
  EXPECT_EQ(busline_publish(pHandle, "t", "x", 1, 3, 0, 0, 0, nullptr), -2);
  EXPECT_EQ(busline_unsubscribe(pHandle, str129.c_str()), -2);
  EXPECT_EQ(busline_unsubscribe(pHandle, str128.c_str()), 0);
  EXPECT_EQ(busline_set_will(pHandle, str129.c_str(), "x", 1, 0, 0, 0, 0), -2);
  // A missing body is sent as an empty one whatever size comes with it.
  EXPECT_EQ(busline_publish(pHandle, "t", nullptr, 5, 0, 0, 0, 0, nullptr), 0);
  busline_exit(pHandle);
}

// Under MQTT 5 a handle does not get its own messages back (no-local); under MQTT 3.1.1,
// which protocol 6 falls back to, it does.
TEST_F(BuslineApi, ProtocolSixIsMqtt311) {
  TestClient v5, v6;
  BuslineHandle *pV5 = open(v5, 5);
  BuslineHandle *pV6 = open(v6, 6);
  ASSERT_EQ(busline_subscribe(pV5, "own/v5", 1), 0);
  ASSERT_EQ(busline_subscribe(pV6, "own/v6", 1), 0);
  ASSERT_TRUE(zt::test::waitFor([&] {
    busline_publish(pV6, "own/v6", "mine", 4, 1, 0, 11, 12, nullptr);
    return zt::test::waitFor([&] { return v6.messageCount() > 0; }, std::chrono::milliseconds(100));
  }));
  Received own = v6.messages().front();
  EXPECT_EQ(own.strPayload, "mine");
  EXPECT_EQ(own.uSN, 11u); // carried in the head
  for (int i = 0; i < 5; ++i) {
    busline_publish(pV5, "own/v5", "mine", 4, 1, 0, 0, 0, nullptr);
  }
  // A message from the other handle still arrives, and it is the only one.
  busline_publish(pV6, "own/v5", "other", 5, 1, 0, 0, 0, nullptr);
  ASSERT_TRUE(v5.waitMessages(1));
  EXPECT_EQ(v5.messages().front().strPayload, "other");
  std::this_thread::sleep_for(std::chrono::milliseconds(200)); // room for a stray own message
  EXPECT_EQ(v5.messageCount(), 1u);
  busline_exit(pV5);
  busline_exit(pV6);
}

TEST_F(BuslineApi, HeadSettingOffDropsTheMetadata) {
  TestClient sender, receiver;
  BuslineHandle *pSender = open(sender, 5, 0);
  BuslineHandle *pReceiver = open(receiver, 5);
  subscribeAndProbe(pSender, pReceiver, receiver, "plain/topic");
  ASSERT_EQ(busline_publish(pSender, "plain/topic", "plain", 5, 1, 0, 9, 9, "reply"), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return receiver.messages().back().strPayload == "plain"; }));
  Received plain = receiver.messages().back();
  EXPECT_EQ(plain.uSN, 0u);
  EXPECT_EQ(plain.nType, 0);
  EXPECT_FALSE(plain.bHasResponseTopic);
  busline_exit(pSender);
  busline_exit(pReceiver);
}

// Heads are recognised by the receiver whatever its own settings; damaged ones arrive whole.
TEST_F(BuslineApi, RawHeadsAreDecodedAndMalformedOnesDeliveredWhole) {
  TestClient sender, receiver;
  BuslineHandle *pSender = open(sender, 4, 0);
  BuslineHandle *pReceiver = open(receiver, 5, 0);
  subscribeAndProbe(pSender, pReceiver, receiver, "raw/head");
  const unsigned char head[] = {0x4D, 0x51, 0x54, 0x54, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00,
                                0x00, 0x30, 0x7D, 0x75, 0x9D, 0xD6, 0xAB, 0xCD, 0xEF, 0x02, 0x00, 0x00, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63};
  unsigned char damaged[sizeof head];
  std::memcpy(damaged, head, sizeof head);
  damaged[50] = 'x';
  size_t nBase = receiver.messageCount();
  ASSERT_EQ(busline_publish(pSender, "raw/head", head, sizeof head, 1, 0, 0, 0, nullptr), 0);
  ASSERT_EQ(busline_publish(pSender, "raw/head", damaged, sizeof damaged, 1, 0, 0, 0, nullptr), 0);
  ASSERT_TRUE(receiver.waitMessages(nBase + 2));
  std::vector<Received> vec = receiver.messages();
  EXPECT_EQ(vec[nBase].strPayload, "abc");
  EXPECT_EQ(vec[nBase].uSN, 1u);
  EXPECT_EQ(vec[nBase].nType, 0x10);
  EXPECT_EQ(vec[nBase + 1].strPayload, std::string(reinterpret_cast<const char *>(damaged), sizeof damaged));
  EXPECT_EQ(vec[nBase + 1].uSN, 0u);
  EXPECT_EQ(vec[nBase + 1].nType, 0);
  busline_exit(pSender);
  busline_exit(pReceiver);
}

TEST_F(BuslineApi, EmptyBodyUnderTheHeadFormArrivesEmptyWithoutMetadata) {
  TestClient sender, receiver;
  BuslineHandle *pSender = open(sender, 4);
  BuslineHandle *pReceiver = open(receiver, 4);
  subscribeAndProbe(pSender, pReceiver, receiver, "empty/body");
  ASSERT_EQ(busline_publish(pSender, "empty/body", nullptr, 0, 1, 0, 3, 4, "reply"), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return receiver.messages().back().strPayload.empty(); }));
  EXPECT_EQ(receiver.messages().back().uSN, 0u);
  busline_exit(pSender);
  busline_exit(pReceiver);
}

// Callers on several threads publish while the network thread reads the same TLS connection.
TEST_F(BuslineApi, PublishingFromManyThreadsLosesNothing) {
  TestClient sender, receiver;
  BuslineHandle *pSender = open(sender, 5);
  BuslineHandle *pReceiver = open(receiver, 5);
  subscribeAndProbe(pSender, pReceiver, receiver, "many/threads");
  size_t nBase = receiver.messageCount();
  constexpr int kThreads = 4;
  constexpr int kEach = 250;
  std::vector<std::thread> vecThreads;
  for (int t = 0; t < kThreads; ++t) {
    vecThreads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        std::string strBody = std::to_string(t) + ":" + std::to_string(i);
        EXPECT_EQ(busline_publish(pSender, "many/threads", strBody.data(), int(strBody.size()), 1, 0,
                                  uint32_t(i), t, nullptr),
                  0);
        if (i % 50 == 0) {
          busline_subscribe(pSender, "many/other", 0); // the subscription list changes meanwhile
        }
      }
    });
  }
  for (auto &thread : vecThreads) {
    thread.join();
  }
  ASSERT_TRUE(zt::test::waitFor([&] { return receiver.messageCount() >= nBase + kThreads * kEach; },
                                std::chrono::milliseconds(20000)));
  EXPECT_EQ(receiver.messageCount(), nBase + kThreads * kEach);
  EXPECT_EQ(busline_get_connect_state(pSender), 1);
  busline_exit(pSender);
  busline_exit(pReceiver);
}

TEST(BuslineApiWithoutBroker, ConnectFailureIsReportedAtOnce) {
  TestClient client;
  BuslineHandle *pHandle =
      busline_init_session(nullptr, 1, 5, 1, TestClient::onConnect, TestClient::onMessage, &client);
  ASSERT_NE(pHandle, nullptr);
  EXPECT_EQ(busline_connect(pHandle, "127.0.0.1", zt::test::freeTcpPort(), 0, nullptr), -1);
  EXPECT_EQ(client.statuses(), std::vector<int>{1});
  EXPECT_EQ(busline_get_connect_state(pHandle), 0);
  busline_exit(pHandle);
}

// The network loop's timeout derives from the keep-alive; one too long for milliseconds in an
// int must neither overflow nor stop the thread from running and ending.
TEST(BuslineApiWithoutBroker, KeepaliveBeyondTheMillisecondRangeIsHandledSafely) {
  LogCapture log;
  TestClient client;
  BuslineHandle *pHandle =
      busline_init_session(nullptr, 1, 4, 1, TestClient::onConnect, TestClient::onMessage, &client);
  ASSERT_NE(pHandle, nullptr);
  busline_set_module(pHandle, "long-keepalive");
  EXPECT_EQ(busline_connect(pHandle, "127.0.0.1", zt::test::freeTcpPort(), 3000000, nullptr), -1);
  EXPECT_EQ(client.statuses(), std::vector<int>{1});
  ASSERT_TRUE(zt::test::waitFor([&] { return log.has(4, "[long-keepalive] routine,loopForever 1"); }));
  auto start = std::chrono::steady_clock::now();
  busline_exit(pHandle);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(BuslineApiWithoutBroker, ExitReturnsPromptlyOnceTheBrokerIsGone) {
  zt::test::Broker broker;
  ASSERT_TRUE(broker.start());
  TestClient client;
  BuslineHandle *pHandle = busline_init("127.0.0.1", broker.port(), "gone-broker", 1, 5, 1,
                                        TestClient::onConnect, TestClient::onMessage, &client);
  ASSERT_TRUE(client.waitStatus(0));
  busline_subscribe(pHandle, "some/topic", 1);
  broker.stop();
  ASSERT_TRUE(client.waitStatus(1));
  auto start = std::chrono::steady_clock::now();
  busline_exit(pHandle);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(NmMqtt, RefusedBeforeInitThenRoundTripWithHead) {
  EXPECT_EQ(nm_mqtt_subscribe("t", 0), -2);
  EXPECT_EQ(nm_mqtt_unsubscribe("t"), -2);
  EXPECT_EQ(nm_mqtt_publish("t", "x", 1, 0, 0, 0, 0, nullptr), -2);
  EXPECT_EQ(nm_mqtt_set_will("t", "x", 1, 0, 0, 0, 0), -2);
  EXPECT_EQ(nm_mqtt_clear_will(), -2);
  EXPECT_EQ(nm_mqtt_connect("127.0.0.1", 1), -2);

  zt::test::Broker broker;
  ASSERT_TRUE(broker.start());
  TestClient global, other;
  ASSERT_EQ(nm_mqtt_init_session("global-session", 1, TestClient::onConnect, TestClient::onMessage, &global),
            0);
  EXPECT_EQ(nm_mqtt_init_session(nullptr, 1, nullptr, nullptr, nullptr), 0); // already there
  EXPECT_EQ(nm_mqtt_set_will("will/topic", "gone", 4, 1, 0, 1, 2), 0);
  EXPECT_EQ(nm_mqtt_connect("127.0.0.1", broker.port()), 0);
  ASSERT_TRUE(global.waitStatus(0));
  ASSERT_EQ(nm_mqtt_subscribe("global/in", 1), 0);
  // MQTT 5 properties do not reach an MQTT 3.1.1 subscriber, so the peer uses the head as well.
  BuslineHandle *pOther = busline_init("127.0.0.1", broker.port(), nullptr, 1, 4, 1, TestClient::onConnect,
                                       TestClient::onMessage, &other);
  ASSERT_TRUE(other.waitStatus(0));
  ASSERT_TRUE(zt::test::waitFor([&] {
    busline_publish(pOther, "global/in", "hello", 5, 1, 0, 77, 78, "global/out");
    return zt::test::waitFor([&] { return global.messageCount() > 0; }, std::chrono::milliseconds(100));
  }));
  Received in = global.messages().front();
  EXPECT_EQ(in.uSN, 77u);
  EXPECT_EQ(in.strResponseTopic, "global/out");
  ASSERT_EQ(busline_subscribe(pOther, "global/out", 1), 0);
  ASSERT_TRUE(zt::test::waitFor([&] {
    nm_mqtt_publish("global/out", "answer", 6, 1, 0, 77, -5, nullptr);
    return zt::test::waitFor([&] { return other.messageCount() > 0; }, std::chrono::milliseconds(100));
  }));
  Received out = other.messages().front();
  EXPECT_EQ(out.strPayload, "answer");
  EXPECT_EQ(out.nType, -5);
  nm_mqtt_exit();
  EXPECT_EQ(nm_mqtt_subscribe("t", 0), -2);
  busline_exit(pOther);
}

TEST(Information, ModuleInfoVersionsAndMacAddress) {
  ZtModuleInfo info;
  EXPECT_EQ(nm_get_moduleinfo(nullptr), -2);
  ASSERT_EQ(nm_get_moduleinfo(&info), 0);
  EXPECT_STREQ(info.szVersion, "1.1.3");
  EXPECT_STREQ(info.szModuleType, "ZTM2044");
  EXPECT_STREQ(info.szModuleName, "busline");
  EXPECT_EQ(std::string(nm_get_sdk_version()), std::string("busline V1.1.3 (") + info.szBuildTime + ")");
  int nMajor = 0, nMinor = 0, nRevision = 0;
  mosquitto_lib_version(&nMajor, &nMinor, &nRevision);
  EXPECT_EQ(std::string(nm_get_mqtt_version()), "mosquitto v" + std::to_string(nMajor) + "." +
                                                    std::to_string(nMinor) + "." + std::to_string(nRevision));

  char szMac[18];
  EXPECT_EQ(nm_get_mac_addr_by_netname(nullptr, "eth0"), -1);
  EXPECT_EQ(nm_get_mac_addr_by_netname(szMac, "no-such-adapter"), -6);
  if (nm_get_mac_addr_by_netname(szMac, "") == 0) {
    EXPECT_EQ(std::strlen(szMac), 17u);
    EXPECT_EQ(szMac[2], ':');
  }
  std::ifstream file("/sys/class/net/eth0/address");
  std::string strKernel;
  if (file >> strKernel) {
    ASSERT_EQ(nm_get_mac_addr_by_netname(szMac, "eth0"), 0);
    for (char &c : strKernel) {
      c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(szMac, strKernel);
  }
}

TEST(LogSettings, DisabledOrFilteredLinesReachNoCallback) {
  LogCapture log;
  nm_set_log_type(1, 3);
  busline_subscribe(nullptr, "t", 0);
  EXPECT_FALSE(log.has(7, "busline_subscribe,pHandle"));
  EXPECT_TRUE(log.has(3, "busline_subscribe,pBuslineHandle or pZtMosquittoSdk is nullptr"));
  nm_set_log_type(0, 9); // disabled, level kept
  busline_unsubscribe(nullptr, "t");
  EXPECT_FALSE(log.has(3, "busline_unsubscribe,pBuslineHandle"));
  nm_set_log_type(1, 7);
  busline_unsubscribe(nullptr, "t");
  EXPECT_TRUE(log.has(7, "busline_unsubscribe,pHandle=(nil),pstrTopic=t"));
}

// libmosquitto's own lines reach the log as "[<module>] onLog,<text>", their text as it stands.
TEST_F(BuslineApi, LibraryLinesCarryTheModuleAndTheirTextAsItStands) {
  LogCapture log;
  TestClient client;
  BuslineHandle *pHandle =
      busline_init_session("relay%s%d", 1, 5, 1, TestClient::onConnect, TestClient::onMessage, &client);
  ASSERT_NE(pHandle, nullptr);
  busline_set_module(pHandle, "relay");
  ASSERT_EQ(busline_set_tls(pHandle, zt::test::Broker::caFile().c_str(), nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(busline_set_tls_option(pHandle, 1, 1, nullptr, nullptr), 0);
  ASSERT_EQ(busline_set_user_pwd(pHandle, "root", "rbqe705316!$&^"), 0);
  ASSERT_EQ(busline_connect(pHandle, "127.0.0.1", broker().port(), 60, nullptr), 0);
  EXPECT_TRUE(client.waitStatus(0));
  EXPECT_TRUE(
      zt::test::waitFor([&] { return log.has(7, "[relay] onLog,Client relay%s%d sending CONNECT"); }));
  busline_exit(pHandle);
}

// An exception inside an exported function (here from the application's log callback) ends
// that call with its failure result and one ERROR line; nothing reaches the C caller.
TEST_F(BuslineApi, ExceptionsStopAtTheBoundary) {
  TestClient client;
  BuslineHandle *pHandle = open(client, 5);
  LogCapture log;
  log.throwOn("busline_subscribe,pHandle=");
  EXPECT_EQ(busline_subscribe(pHandle, "thrown/topic", 1), -3);
  EXPECT_EQ(nm_mqtt_subscribe("thrown/topic", 1), -3); // forwards to busline_subscribe
  log.throwOn("busline_init,pstrIP=");
  EXPECT_EQ(busline_init("127.0.0.1", broker().port(), nullptr, 1, 5, 1, nullptr, nullptr, nullptr), nullptr);
  log.throwOn("busline_exit,pHandle=");
  busline_exit(nullptr);
  EXPECT_EQ(log.count(3, "busline_subscribe,exception,log callback failed"), 2u);
  EXPECT_EQ(log.count(3, "busline_init,exception,log callback failed"), 1u);
  EXPECT_EQ(log.count(3, "busline_exit,exception,log callback failed"), 1u);
  EXPECT_EQ(log.count(3, ",exception,"), 4u); // one per call
  log.throwOn("");
  EXPECT_EQ(busline_subscribe(pHandle, "thrown/topic", 1), 0); // the handle is unharmed
  busline_exit(pHandle);
}

namespace {

// Calls busline_exit on its own handle from inside the handle's connection callback.
struct SelfExiter {
  std::atomic<BuslineHandle *> pHandle{nullptr};
  std::atomic<bool> bReturned{false};
  static void onConnect(int nStatus, void *pUserData) {
    auto *pSelf = static_cast<SelfExiter *>(pUserData);
    BuslineHandle *pHandle = pSelf->pHandle.load();
    if (nStatus == 0 && pHandle != nullptr && !pSelf->bReturned.load()) {
      busline_exit(pHandle);
      pSelf->bReturned = true;
    }
  }
};

} // namespace

// The network thread cannot stop itself: the call is refused with one ERROR line and the handle
// keeps working until it is stopped from another thread.
TEST_F(BuslineApi, ExitFromTheHandlesOwnCallbackIsRefused) {
  LogCapture log;
  SelfExiter exiter;
  BuslineHandle *pHandle = busline_init_session(nullptr, 1, 5, 1, SelfExiter::onConnect, nullptr, &exiter);
  ASSERT_NE(pHandle, nullptr);
  exiter.pHandle = pHandle;
  ASSERT_EQ(busline_set_tls(pHandle, zt::test::Broker::caFile().c_str(), nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(busline_set_tls_option(pHandle, 1, 1, nullptr, nullptr), 0);
  ASSERT_EQ(busline_set_user_pwd(pHandle, "root", "rbqe705316!$&^"), 0);
  ASSERT_EQ(busline_connect(pHandle, "127.0.0.1", broker().port(), 0, nullptr), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return exiter.bReturned.load(); }));
  EXPECT_EQ(log.count(3, "busline_exit,called from a callback of the same handle,refused"), 1u);
  EXPECT_EQ(busline_get_connect_state(pHandle), 1);
  EXPECT_EQ(busline_publish(pHandle, "still/running", "x", 1, 1, 0, 0, 0, nullptr), 0);
  busline_exit(pHandle);
}
