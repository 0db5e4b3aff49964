// A server and a client of the library over loopback: key exchange, every crypt mode,
// large frames, heartbeats, time-outs, disconnects and the priority queue.
#include "ztip_link_test_support.h"

#include "connection/ztip_context.h"
#include "api/ztip_library.h"
#include "connection/ztip_priority_commands.h"

#include "broker.h"

#include <atomic>
#include <stdexcept>
#include <thread>

namespace zt::ip::test {
namespace {

using namespace std::chrono_literals;

class LoopbackLink : public LinkTest {
protected:
  // A server and a connected client; m_uClient and m_uAccepted once the keys are agreed.
  void connectPair(int nMode) {
    init(nMode);
    m_uServer = startServer();
    m_uClient = startClient();
    ASSERT_EQ(sendWhenKeysAgreed(m_uClient, makeHead(0x0100, 0x8000), {1, 2, 3}), 0x01);
    m_uAccepted = acceptedId();
    ASSERT_NE(m_uAccepted, 0);
    ASSERT_TRUE(waitUntil([&] { return recorder().framesOn(m_uAccepted).size() == 1; }));
    recorder().clear();
  }

  // Sends the frames one after another and checks they arrive on the other side intact.
  void expectDelivered(uint16_t uFrom, uint16_t uTo, uint16_t uCryptMode,
                       const std::vector<size_t> &vecSizes) {
    recorder().clear();
    for (size_t i = 0; i < vecSizes.size(); ++i) {
      ZTIP_Head_Para head = makeHead(static_cast<uint16_t>(0x2000 + i), uCryptMode, static_cast<uint32_t>(i));
      std::vector<uint8_t> vecData = pattern(vecSizes[i], static_cast<uint8_t>(i));
      ASSERT_EQ(ztIP_SendBySocketId(uFrom, &head, 0, static_cast<int>(vecData.size()), vecData.data()), 0x01)
          << "crypt mode " << std::hex << uCryptMode << " size " << std::dec << vecSizes[i];
    }
    ASSERT_TRUE(waitUntil([&] { return recorder().framesOn(uTo).size() == vecSizes.size(); }))
        << "crypt mode " << std::hex << uCryptMode;
    std::vector<ReceivedFrame> vecFrames = recorder().framesOn(uTo);
    for (size_t i = 0; i < vecSizes.size(); ++i) {
      EXPECT_EQ(vecFrames[i].head.cmd, 0x2000 + i) << "order, crypt mode " << std::hex << uCryptMode;
      EXPECT_EQ(vecFrames[i].head.unit_id, i);
      EXPECT_EQ(vecFrames[i].head.producttype, 1);
      EXPECT_EQ(vecFrames[i].vecData, pattern(vecSizes[i], static_cast<uint8_t>(i)))
          << "crypt mode " << std::hex << uCryptMode << " size " << std::dec << vecSizes[i];
    }
  }

  // A debug-mode server whose frames go to pCallback, with 0x1234 as priority command;
  // returns a client of it.
  uint16_t startDebugPair(ZTIP_RecvCallback pCallback) {
    init(1);
    m_nPort = zt::test::freeTcpPort();
    EXPECT_EQ(ztIP_StartTCPServer(&m_uServer, pCallback, "127.0.0.1", m_nPort), 0x01);
    uint16_t arrPriority[] = {0x1234};
    EXPECT_EQ(ztIP_SetPriorityCMDSet(arrPriority, 1), 0x01);
    return startClient();
  }

  void TearDown() override {
    uint16_t arrNone[] = {0};
    ztIP_SetPriorityCMDSet(arrNone, 0);
    LinkTest::TearDown();
  }

  uint16_t m_uServer = 0;
  uint16_t m_uClient = 0;
  uint16_t m_uAccepted = 0;
};

TEST_F(LoopbackLink, ReleaseModeCarriesEveryCryptModeBothWays) {
  connectPair(0);
  std::vector<size_t> vecSizes = {0, 1, 13, 16, 40, 100, 128, 129, 241, 1024, 5000};
  for (uint16_t uMode :
       {0x8000, 0x0101, 0x0102, 0x0111, 0x011F, 0x0121, 0x012F, 0x0300, 0x0301, 0x0303, 0x030F}) {
    expectDelivered(m_uClient, m_uAccepted, uMode, vecSizes);
    expectDelivered(m_uAccepted, m_uClient, uMode, vecSizes);
  }
}

TEST_F(LoopbackLink, NotificationsCarryTheConnectionsOfBothSides) {
  connectPair(0);
  ztIP_Disconnect(m_uClient);
  ASSERT_TRUE(waitUntil([] { return recorder().hasNotification(0, 0) && recorder().hasNotification(1, 0); }));
  for (const Notification &notification : recorder().notifications()) {
    EXPECT_EQ(notification.strIp, "127.0.0.1");
    EXPECT_EQ(notification.nPort, m_nPort);
    EXPECT_EQ(notification.uSocketId, notification.nType == 0 ? m_uClient : m_uAccepted);
  }
}

TEST_F(LoopbackLink, ReceivedFramesNameTheirConnectionAndServer) {
  connectPair(0);
  expectDelivered(m_uClient, m_uAccepted, 0x0300, {10});
  ReceivedFrame frame = recorder().framesOn(m_uAccepted).at(0);
  EXPECT_EQ(frame.uServerSocketId, m_uServer);
  EXPECT_EQ(frame.strIp, "127.0.0.1");
  EXPECT_EQ(frame.strPort, std::to_string(m_nPort));
  EXPECT_EQ(frame.head.crypt_mode, 0x0300);
  EXPECT_EQ(frame.head.session_id, 0x01020304u);
}

TEST_F(LoopbackLink, FramesAroundTheDirectDeliveryLimitArriveIntact) {
  connectPair(0);
  expectDelivered(m_uClient, m_uAccepted, 0x030F, {98272, 98273, 500000, 2457600});
  expectDelivered(m_uAccepted, m_uClient, 0x0101, {98273, 1000000});
}

TEST_F(LoopbackLink, PayloadOverTheLimitIsRefused) {
  connectPair(0);
  std::vector<uint8_t> vecData(2457601);
  ZTIP_Head_Para head = makeHead(0x3000, 0x0300);
  EXPECT_EQ(ztIP_SendBySocketId(m_uClient, &head, 0, static_cast<int>(vecData.size()), vecData.data()), 0xC2);
}

TEST_F(LoopbackLink, HeadsRejectedOnceKeysAreInPlace) {
  connectPair(0);
  ZTIP_Head_Para plain = makeHead(0x3000, 0x0000);
  EXPECT_EQ(ztIP_SendBySocketId(m_uClient, &plain, 0, 0, nullptr), 0xC6);
  ZTIP_Head_Para keyCmd = makeHead(0x0606, 0x0300);
  EXPECT_EQ(ztIP_SendBySocketId(m_uClient, &keyCmd, 0, 0, nullptr), 0xC6);
  EXPECT_EQ(ztIP_SendBySocketId(999, &plain, 0, 0, nullptr), 0xD9);
}

TEST_F(LoopbackLink, SendByAddressFindsTheClient) {
  connectPair(0);
  ZTIP_Head_Para head = makeHead(0x3001, 0x0300);
  uint16_t uUsedId = 0;
  uint8_t arrData[] = {9, 8, 7};
  EXPECT_EQ(ztIP_TcpSendBy_IPPORT("127.0.0.1", m_nPort, &head, 0, 3, arrData, &uUsedId), 0x01);
  EXPECT_TRUE(uUsedId == m_uClient || uUsedId == m_uAccepted); // both have the server's port
  EXPECT_EQ(ztIP_TcpSendBy_IPPORT(nullptr, m_nPort, &head, 0, 3, arrData, nullptr), 0xF5);
  EXPECT_EQ(ztIP_TcpSendBy_IPPORT("127.0.0.2", m_nPort, &head, 0, 3, arrData, nullptr), 0xD9);
}

std::atomic<int> g_nThrowingCalls{0};

void throwingFrame(uint16_t, uint16_t, ZTIP_Head_Para, uint32_t, const uint8_t *, const char *,
                   const char *) {
  ++g_nThrowingCalls;
  throw std::runtime_error("application failure");
}

void throwingNotification(int, int, uint16_t, const char *, int) {
  ++g_nThrowingCalls;
  throw std::runtime_error("application failure");
}

TEST_F(LoopbackLink, ThrowingCallbacksLeaveTheLibraryThreadsRunning) {
  init(1);
  uint16_t uServer = 0;
  m_nPort = zt::test::freeTcpPort();
  ASSERT_EQ(ztIP_StartTCPServer(&uServer, throwingFrame, "127.0.0.1", m_nPort), 0x01);
  g_nThrowingCalls = 0;
  // Small frames go through the callback thread, one past the direct delivery limit is
  // delivered on the TCP receive thread.
  uint16_t uClient = startClient();
  for (size_t nSize : {3u, 100000u, 3u})
    ASSERT_EQ(sendWhenKeysAgreed(uClient, makeHead(0x0100, 0x8000), pattern(nSize, 1)), 0x01);
  ASSERT_TRUE(waitUntil([] { return g_nThrowingCalls == 3; }));

  // Both ends of a closed connection are announced, on the refresh and the receive thread.
  ztIP_RegisterConnectionNotify(throwingNotification);
  ASSERT_EQ(ztIP_Disconnect(uClient), 0x01);
  ASSERT_TRUE(waitUntil([] { return g_nThrowingCalls == 5; }));
  ztIP_RegisterConnectionNotify(recordNotification);

  uint16_t uSecondClient = startClient();
  ASSERT_EQ(sendWhenKeysAgreed(uSecondClient, makeHead(0x0100, 0x8000), pattern(3, 2)), 0x01);
  EXPECT_TRUE(waitUntil([] { return g_nThrowingCalls == 6; }));
}

TEST_F(LoopbackLink, DebugModeSendsAtOnce) {
  init(1);
  startServer();
  uint16_t uClient = startClient();
  ZTIP_Head_Para head = makeHead(0x0100, 0x0300);
  uint8_t arrData[] = {'a', 'b', 'c'};
  EXPECT_EQ(ztIP_SendBySocketId(uClient, &head, 0, 3, arrData), 0x01);
}

TEST_F(LoopbackLink, HeartbeatsKeepAnIdleLinkOpenPastTheTimeOut) {
  setRecvTimeoutMs(500);
  connectPair(0);
  std::this_thread::sleep_for(1500ms);
  EXPECT_FALSE(recorder().hasNotification(0, 0));
  EXPECT_FALSE(recorder().hasNotification(1, 0));
  expectDelivered(m_uClient, m_uAccepted, 0x0303, {100});
}

TEST_F(LoopbackLink, OrderlyCloseByThePeerDisconnectsAtOnce) {
  setRecvTimeoutMs(45000); // far longer than the wait below: only the close itself can end it
  connectPair(0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ztIP_Disconnect(m_uAccepted), 0x01);
  ASSERT_TRUE(waitUntil([] { return recorder().hasNotification(0, 0); }, 20s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  ZTIP_Head_Para head = makeHead(0x3000, 0x0300);
  EXPECT_EQ(ztIP_SendBySocketId(m_uClient, &head, 0, 0, nullptr), 0xD9);
}

TEST_F(LoopbackLink, DisconnectedServerStopsAcceptingAndKeepsItsConnections) {
  connectPair(0);
  EXPECT_EQ(ztIP_Disconnect(m_uServer), 0x01);
  RawPeer peer;
  ASSERT_TRUE(waitUntil([&] { return !peer.connectTo(m_nPort); }, 3s));
  expectDelivered(m_uClient, m_uAccepted, 0x0300, {64});
  expectDelivered(m_uAccepted, m_uClient, 0x0300, {64});
  EXPECT_EQ(ztIP_Disconnect(1530), 0x00);
}

// Blocks the normal callback thread until released.
std::atomic<bool> g_bReleaseNormal{false};
std::atomic<bool> g_bNormalBlocked{false};
void blockingCallback(uint16_t uSocketId, uint16_t uServerSocketId, ZTIP_Head_Para head, uint32_t uLen,
                      const uint8_t *pData, const char *pstrIp, const char *pstrPort) {
  if (head.cmd == 0x0001) {
    g_bNormalBlocked = true;
    while (!g_bReleaseNormal)
      std::this_thread::sleep_for(1ms);
  }
  recordFrame(uSocketId, uServerSocketId, head, uLen, pData, pstrIp, pstrPort);
}

TEST_F(LoopbackLink, PriorityFramesPassABlockedNormalQueue) {
  uint16_t uClient = startDebugPair(blockingCallback);
  g_bReleaseNormal = false;
  g_bNormalBlocked = false;
  ZTIP_Head_Para blocker = makeHead(0x0001, 0);
  ZTIP_Head_Para normal = makeHead(0x0002, 0);
  ZTIP_Head_Para priority = makeHead(0x1234, 0);
  ZTIP_Head_Para zero = makeHead(0x0000, 0);
  for (ZTIP_Head_Para *pHead : {&blocker, &normal, &priority, &zero})
    ASSERT_EQ(ztIP_SendBySocketId(uClient, pHead, 0, 0, nullptr), 0x01);
  EXPECT_TRUE(waitUntil([] { return recorder().frames().size() == 2; }));
  EXPECT_TRUE(g_bNormalBlocked);
  std::vector<ReceivedFrame> vecFrames = recorder().frames();
  ASSERT_EQ(vecFrames.size(), 2u);
  EXPECT_EQ(vecFrames[0].head.cmd, 0x1234);
  EXPECT_EQ(vecFrames[1].head.cmd, 0x0000);
  g_bReleaseNormal = true;
  EXPECT_TRUE(waitUntil([] { return recorder().frames().size() == 4; }));
  EXPECT_EQ(recorder().frames()[3].head.cmd, 0x0002);
}

// Holds the normal callback thread on cmd 0x0001 until another frame was recorded or half a
// second passed, so that a frame that overtakes it is recorded first.
void holdingCallback(uint16_t uSocketId, uint16_t uServerSocketId, ZTIP_Head_Para head, uint32_t uLen,
                     const uint8_t *pData, const char *pstrIp, const char *pstrPort) {
  if (head.cmd == 0x0001)
    waitUntil([] { return !recorder().frames().empty(); }, 500ms);
  recordFrame(uSocketId, uServerSocketId, head, uLen, pData, pstrIp, pstrPort);
}

// A frame large enough to be delivered on the receive thread still comes after the frames of
// its queue sent before it; only a priority command passes the normal queue.
TEST_F(LoopbackLink, LargeFramesKeepTheOrderOfTheirQueue) {
  uint16_t uClient = startDebugPair(holdingCallback);
  std::vector<uint8_t> vecLarge = pattern(kDirectDeliveryLen, 5);
  for (uint16_t uLargeCmd : {0x0002, 0x1234}) {
    recorder().clear();
    ZTIP_Head_Para held = makeHead(0x0001, 0);
    ZTIP_Head_Para large = makeHead(uLargeCmd, 0);
    ASSERT_EQ(ztIP_SendBySocketId(uClient, &held, 0, 3, vecLarge.data()), 0x01);
    ASSERT_EQ(ztIP_SendBySocketId(uClient, &large, 0, static_cast<int>(vecLarge.size()), vecLarge.data()),
              0x01);
    ASSERT_TRUE(waitUntil([] { return recorder().frames().size() == 2; }));
    std::vector<ReceivedFrame> vecFrames = recorder().frames();
    bool bOvertakes = uLargeCmd == 0x1234;
    EXPECT_EQ(vecFrames[0].head.cmd, bOvertakes ? uLargeCmd : 0x0001) << std::hex << uLargeCmd;
    EXPECT_EQ(vecFrames[1].head.cmd, bOvertakes ? 0x0001 : uLargeCmd) << std::hex << uLargeCmd;
    EXPECT_EQ(vecFrames[bOvertakes ? 0 : 1].vecData, vecLarge);
  }
}

// Starts a connection to g_nPortToConnect from inside the callback of cmd 0x0001, once a
// frame sent behind it had the time to arrive.
std::atomic<int> g_nPortToConnect{0};
std::atomic<int> g_nStartResult{-1};
void connectingCallback(uint16_t uSocketId, uint16_t uServerSocketId, ZTIP_Head_Para head, uint32_t uLen,
                        const uint8_t *pData, const char *pstrIp, const char *pstrPort) {
  if (head.cmd == 0x0001) {
    std::this_thread::sleep_for(300ms);
    uint16_t uId = 0;
    g_nStartResult = ztIP_StartTCPClient(&uId, recordFrame, "127.0.0.1", g_nPortToConnect);
  }
  recordFrame(uSocketId, uServerSocketId, head, uLen, pData, pstrIp, pstrPort);
}

// The search for a free id meets the connection whose large frame waits for this very
// callback: it must pass it by rather than wait for it.
TEST_F(LoopbackLink, CallbackStartsAConnectionWhileALargeFrameWaitsForIt) {
  setConnectionRangeSize(2);
  uint16_t uClient = startDebugPair(connectingCallback);
  g_nPortToConnect = m_nPort;
  g_nStartResult = -1;
  ZTIP_Head_Para held = makeHead(0x0001, 0);
  ZTIP_Head_Para large = makeHead(0x0002, 0);
  std::vector<uint8_t> vecLarge = pattern(kDirectDeliveryLen, 6);
  ASSERT_EQ(ztIP_SendBySocketId(uClient, &held, 0, 0, nullptr), 0x01);
  ASSERT_EQ(ztIP_SendBySocketId(uClient, &large, 0, static_cast<int>(vecLarge.size()), vecLarge.data()),
            0x01);
  ASSERT_TRUE(waitUntil([] { return recorder().frames().size() == 2; }));
  EXPECT_EQ(g_nStartResult, 0xD8); // both ids are in use
  EXPECT_EQ(recorder().frames()[1].head.cmd, 0x0002);
}

TEST_F(LoopbackLink, ManyConnectionsKeepTheirFramesApart) {
  connectPair(0);
  std::vector<uint16_t> vecClients;
  for (int i = 0; i < 20; ++i)
    vecClients.push_back(startClient());
  for (uint16_t uClient : vecClients)
    ASSERT_EQ(sendWhenKeysAgreed(uClient, makeHead(0x4000, 0x0303, uClient), pattern(300, uClient & 0xFF)),
              0x01);
  ASSERT_TRUE(waitUntil([&] { return recorder().frames().size() == vecClients.size(); }));
  for (const ReceivedFrame &frame : recorder().frames())
    EXPECT_EQ(frame.vecData, pattern(300, frame.head.unit_id & 0xFF));
}

} // namespace
} // namespace zt::ip::test
