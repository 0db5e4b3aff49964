// Exit and calls after it, callbacks that call back, the last will, the module record and
// the library's log.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "tcp_relay.h"
#include "topicbus_fixture.h"

using namespace zt::tb;
using namespace zt::tb::test;

namespace {

class Lifecycle : public TopicbusSuite {};

TEST_F(Lifecycle, EveryCallAfterExitReturnsNotInitialised) {
  TestClient client;
  TopicbusHandle *pClient = start(SecurityMode::Plain, client);
  ASSERT_TRUE(client.waitStatus(0));
  EXPECT_EQ(ZTM2045_Exit(pClient), 0);
  // The handle's memory stays valid: these are no use after free.
  EXPECT_EQ(ZTM2045_Exit(pClient), -4);
  EXPECT_EQ(ZTM2045_Subscribe(pClient, "after/exit", 0), -4);
  EXPECT_EQ(ZTM2045_Unsubscribe(pClient, "after/exit"), -4);
  EXPECT_EQ(ZTM2045_Publish(pClient, "after/exit", "x", 1, 0, 0, 0, 0, nullptr), -4);
  EXPECT_EQ(ZTM2045_Exit(nullptr), -2);
}

// A message callback may publish on its own handle; it cannot stop it.
struct Responder {
  TopicbusHandle *pHandle = nullptr;
  std::atomic<int> nExitResult{1};
  static void onMessage(const char *, const void *pMessage, int nSize, int, int, uint32_t uSN, int32_t,
                        const char *pstrResponseTopic, void *pUserData) {
    auto *pSelf = static_cast<Responder *>(pUserData);
    if (pstrResponseTopic != nullptr) {
      ZTM2045_Publish(pSelf->pHandle, pstrResponseTopic, pMessage, nSize, 1, 0, uSN, 2, nullptr);
      pSelf->nExitResult.store(ZTM2045_Exit(pSelf->pHandle));
    }
  }
};

TEST_F(Lifecycle, CallbacksMayPublishButNotExitTheirOwnHandle) {
  Responder responder;
  StartUpArgs args;
  args.pstrIP = "127.0.0.1";
  args.nPort = broker().plainPort();
  args.pstrUserName = zt::bus::kFixedUserName;
  args.pstrPassword = zt::bus::kFixedPassword;
  args.pRecvMessageCallback = Responder::onMessage;
  args.pUserData = &responder;
  responder.pHandle = createHandle(SecurityMode::Plain, args, {}, fastTiming());
  TestClient asker;
  TopicbusHandle *pAsker = start(SecurityMode::Plain, asker);
  ASSERT_TRUE(asker.waitStatus(0));
  ASSERT_EQ(ZTM2045_Subscribe(pAsker, "ask/reply", 1), 0);
  ASSERT_EQ(ZTM2045_Subscribe(responder.pHandle, "ask/t", 1), 0);
  ASSERT_TRUE(zt::test::waitFor([&] {
    ZTM2045_Publish(pAsker, "ask/t", "question", 8, 1, 0, 42, 1, "ask/reply");
    return zt::test::waitFor([&] { return asker.messageCount() > 0; }, std::chrono::milliseconds(200));
  }));
  Received answer = asker.messages().front();
  EXPECT_EQ(answer.strPayload, "question");
  EXPECT_EQ(answer.uSN, 42u);
  EXPECT_EQ(answer.nType, 2);
  EXPECT_EQ(responder.nExitResult.load(), -2);
  EXPECT_EQ(ZTM2045_Exit(responder.pHandle), 0);
  EXPECT_EQ(ZTM2045_Exit(pAsker), 0);
}

// The will is published when the connection breaks; a will topic without a message is refused.
TEST_F(Lifecycle, LastWillIsPublishedWhenTheLinkBreaks) {
  TestClient observer;
  TopicbusHandle *pObserver = start(SecurityMode::Plain, observer);
  ASSERT_TRUE(observer.waitStatus(0));
  ASSERT_EQ(ZTM2045_Subscribe(pObserver, "will/t", 2), 0);

  zt::test::TcpRelay relay(broker().plainPort());
  ASSERT_TRUE(relay.start());
  TestClient dying;
  TopicbusHandle *pDying =
      ZTM2045_CreateEx("127.0.0.1", relay.port(), "will-client", 1, zt::bus::kFixedUserName,
                       zt::bus::kFixedPassword, "will/t", "gone", 0, TestClient::onConnect, nullptr, &dying);
  ASSERT_TRUE(dying.waitStatus(0));
  relay.cut();
  ASSERT_TRUE(observer.waitMessages(1));
  Received will = observer.messages().front();
  EXPECT_EQ(will.strPayload, "gone");
  EXPECT_EQ(will.nQos, 1);
  EXPECT_EQ(ZTM2045_Exit(pDying), 0);

  zt::bus::test::LogCapture log;
  TestClient never;
  TopicbusHandle *pNever =
      ZTM2045_CreateEx("127.0.0.1", broker().plainPort(), nullptr, 1, zt::bus::kFixedUserName,
                       zt::bus::kFixedPassword, "will/t", nullptr, 0, TestClient::onConnect, nullptr, &never);
  ASSERT_NE(pNever, nullptr);
  EXPECT_TRUE(log.has(3, "Init faild！ret=[-2]"));
  EXPECT_TRUE(never.statuses().empty());
  EXPECT_EQ(ZTM2045_Exit(pNever), 0);
  EXPECT_EQ(ZTM2045_Exit(pObserver), 0);
}

TEST(ModuleInfo, FiveTextsInA512ByteRecord) {
  char record[512];
  std::memset(record, 'x', sizeof record);
  ASSERT_EQ(ZTM2045_GetModuleInfo(record), 0);
  EXPECT_STREQ(record, "1.0.0");
  EXPECT_EQ(std::strlen(record + 64), 19u) << record + 64; // "YYYY-MM-DD hh:mm:ss"
  EXPECT_STREQ(record + 128, "ZTM2045");
  EXPECT_STREQ(record + 192, "topicbus");
  EXPECT_STREQ(record + 256, "mosquitto V1.6.8");
  for (size_t i = 256 + std::strlen(record + 256); i < sizeof record; ++i) {
    ASSERT_EQ(record[i], 0) << i;
  }
  EXPECT_EQ(ZTM2045_GetModuleInfo(nullptr), -2);
}

std::mutex g_lineMutex;
std::vector<std::string> g_vecLines;
void collectLine(int, const char *pstrText, int nLength) {
  std::lock_guard<std::mutex> lock(g_lineMutex);
  g_vecLines.emplace_back(pstrText, size_t(nLength));
}
bool lineWith(const std::string &strText) {
  std::lock_guard<std::mutex> lock(g_lineMutex);
  for (const std::string &strLine : g_vecLines) {
    if (strLine.find(strText) != std::string::npos) {
      return true;
    }
  }
  return false;
}

// The callback sees every line, tagged with the handle; null keeps it; the file has topicbus's header.
TEST_F(Lifecycle, LogCallbackSeesEveryLineAndTheFileIsTopicbusOwn) {
  EXPECT_EQ(ZTM2045_SetLogCallback(collectLine), collectLine);
  EXPECT_EQ(ZTM2045_SetLogCallback(nullptr), nullptr);
  TestClient client;
  TopicbusHandle *pClient = start(SecurityMode::Plain, client);
  ASSERT_TRUE(client.waitStatus(0));
  ASSERT_EQ(ZTM2045_Subscribe(pClient, "log/t", 1), 0);
  std::ostringstream handle;
  handle << "pHandle=" << static_cast<void *>(pClient);
  EXPECT_TRUE(zt::test::waitFor(
      [&] { return lineWith("[Mosquitto] onConnect," + handle.str() + ",nReturnCode=0"); }));
  EXPECT_TRUE(lineWith("[Mosquitto] startThread," + handle.str()));
  EXPECT_TRUE(lineWith(" mqtt_subscribe do subscribe,nRet=[0],nMessageId=["));
  EXPECT_TRUE(lineWith("[Mosquitto] setConnectCallback,pCallback="));
  EXPECT_EQ(ZTM2045_Exit(pClient), 0);
  EXPECT_TRUE(lineWith("[Mosquitto] exitThread," + handle.str() + ",end"));

  ASSERT_TRUE(zt::test::waitFor([&] {
    std::ifstream probe("log/topicbus_tests_topicbus.log");
    return probe.good();
  }));
  std::string strHeader;
  std::getline(std::ifstream("log/topicbus_tests_topicbus.log"), strHeader);
  EXPECT_EQ(strHeader.rfind("topicbus V1.0.0 (", 0), 0u) << strHeader;
}

} // namespace
