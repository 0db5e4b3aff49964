// The key exchange and connection watching against a raw socket that plays the peer byte
// by byte, so the frames on the wire are checked independently of the library's own side.
#include "ztip_link_test_support.h"

#include "codec/ztip_key_material.h"
#include "api/ztip_library.h"
#include "codec/ztip_payload_cipher.h"

#include <cstring>
#include <thread>

namespace zt::ip::test {
namespace {

using namespace std::chrono_literals;

class RawPeerLink : public LinkTest {
protected:
  // Reads frames until one that is not a heartbeat.
  bool readNonHeartbeat(RawPeer &peer, ZtipHead &head, std::vector<uint8_t> &vecPayload) {
    do {
      if (!peer.readFrame(head, vecPayload))
        return false;
    } while (head.uCmd == kCmdHeartbeat);
    return true;
  }

  // The first pass of the accepting side: B masked with A.
  std::vector<uint8_t> readFirstPass(RawPeer &peer) {
    ZtipHead head;
    std::vector<uint8_t> vecPayload;
    EXPECT_TRUE(readNonHeartbeat(peer, head, vecPayload));
    EXPECT_EQ(head.uCmd, kCmdKeyExchange);
    EXPECT_EQ(head.uStatus, kStatusRequest);
    EXPECT_EQ(head.uCryptMode, 0);
    EXPECT_EQ(head.uProtocolType, 0x80);
    EXPECT_EQ(head.uFuncCode, 0x10);
    vecPayload.resize(kMaterialSize);
    return vecPayload;
  }

  // Plays the connecting side of the rest of the exchange; returns the agreed material.
  std::vector<uint8_t> respondToExchange(RawPeer &peer, const std::vector<uint8_t> &vecFirstPass) {
    ZtipHead head;
    std::vector<uint8_t> vecPayload;
    uint8_t arrQ[kMaterialSize];
    generateKeyMaterial(arrQ);
    std::vector<uint8_t> vecValue(kMaterialSize);
    maskValue(arrQ, vecFirstPass.data(), vecValue.data());
    EXPECT_TRUE(peer.sendBytes(rawFrame(kCmdKeyExchange, kStatusOk, vecValue)));
    EXPECT_TRUE(readNonHeartbeat(peer, head, vecPayload));
    EXPECT_EQ(head.uCmd, kCmdKeyExchangeConfirm);
    EXPECT_EQ(head.uStatus, kStatusRequest);
    vecPayload.resize(kMaterialSize);
    std::vector<uint8_t> vecSession(kMaterialSize);
    maskValue(arrQ, vecPayload.data(), vecSession.data());
    std::vector<uint8_t> vecOk(kMaterialSize, 0);
    vecOk[0] = 'O';
    vecOk[1] = 'K';
    EXPECT_TRUE(peer.sendBytes(rawFrame(kCmdKeyExchangeConfirm, kStatusOk, vecOk)));
    return vecSession;
  }
};

TEST_F(RawPeerLink, RawResponderAgreesOnKeysWithTheServer) {
  init(0);
  uint16_t uServer = startServer();
  RawPeer peer;
  ASSERT_TRUE(peer.connectTo(m_nPort));
  std::vector<uint8_t> vecSession = respondToExchange(peer, readFirstPass(peer));
  uint16_t uAccepted = acceptedId();
  ASSERT_NE(uAccepted, 0);

  ZTIP_Head_Para head = makeHead(0x5000, 0x0300);
  std::vector<uint8_t> vecData = pattern(50, 3);
  ASSERT_EQ(ztIP_SendBySocketId(uAccepted, &head, 0, static_cast<int>(vecData.size()), vecData.data()), 0x01);
  ZtipHead wire;
  std::vector<uint8_t> vecPayload;
  ASSERT_TRUE(readNonHeartbeat(peer, wire, vecPayload));
  EXPECT_EQ(wire.uPadFlag, kPadFlagEncrypted);
  EXPECT_NE(vecPayload, vecData);
  randomKeyTransform(vecSession.data(), kCryptRandom, vecPayload.size(), vecPayload.data(),
                     vecPayload.data());
  EXPECT_EQ(vecPayload, vecData);
  (void)uServer;
}

TEST_F(RawPeerLink, UnexpectedStatusRestartsTheExchange) {
  init(0);
  startServer();
  RawPeer peer;
  ASSERT_TRUE(peer.connectTo(m_nPort));
  std::vector<uint8_t> vecFirst = readFirstPass(peer);
  ASSERT_TRUE(peer.sendBytes(rawFrame(kCmdKeyExchange, 0x1234, std::vector<uint8_t>(kMaterialSize, 0x55))));
  std::vector<uint8_t> vecSecond = readFirstPass(peer);
  EXPECT_NE(vecFirst, vecSecond);     // fresh material
  respondToExchange(peer, vecSecond); // and the restarted exchange completes
  EXPECT_NE(acceptedId(), 0);
}

TEST_F(RawPeerLink, ConfirmationWithoutARunningExchangeDropsTheConnection) {
  init(0);
  RawPeer server;
  m_nPort = server.listenOnFreePort();
  uint16_t uClient = startClient();
  ASSERT_TRUE(server.acceptOne());
  ASSERT_TRUE(
      server.sendBytes(rawFrame(kCmdKeyExchangeConfirm, kStatusRequest, std::vector<uint8_t>(32, 1))));
  EXPECT_TRUE(server.waitClosedByPeer(3s));
  EXPECT_TRUE(waitUntil([] { return recorder().hasNotification(0, 0); }));
  (void)uClient;
}

TEST_F(RawPeerLink, ConfirmationBeforeTheSecondPassDropsTheConnection) {
  init(0);
  startServer();
  RawPeer peer;
  ASSERT_TRUE(peer.connectTo(m_nPort));
  readFirstPass(peer);
  std::vector<uint8_t> vecOk(kMaterialSize, 0);
  vecOk[0] = 'O';
  vecOk[1] = 'K';
  ASSERT_TRUE(peer.sendBytes(rawFrame(kCmdKeyExchangeConfirm, kStatusOk, vecOk)));
  EXPECT_TRUE(peer.waitClosedByPeer(3s));
  EXPECT_FALSE(recorder().hasNotification(1, 1)); // never announced as connected
}

TEST_F(RawPeerLink, ShortKeyExchangePayloadIsIgnored) {
  init(0);
  RawPeer server;
  m_nPort = server.listenOnFreePort();
  startClient();
  ASSERT_TRUE(server.acceptOne());
  ASSERT_TRUE(server.sendBytes(rawFrame(kCmdKeyExchange, kStatusRequest, {1, 2, 3, 4})));
  // No answer to the broken pass (only heartbeats come)...
  ZtipHead head;
  std::vector<uint8_t> vecPayload;
  auto deadline = std::chrono::steady_clock::now() + 400ms;
  while (std::chrono::steady_clock::now() < deadline && server.readFrame(head, vecPayload, 200ms))
    EXPECT_EQ(head.uCmd, kCmdHeartbeat);
  // ...and the connection stays usable for a proper one.
  std::vector<uint8_t> vecValue(kMaterialSize, 0x33);
  ASSERT_TRUE(server.sendBytes(rawFrame(kCmdKeyExchange, kStatusRequest, vecValue)));
  ASSERT_TRUE(readNonHeartbeat(server, head, vecPayload));
  EXPECT_EQ(head.uCmd, kCmdKeyExchange);
  EXPECT_EQ(head.uStatus, kStatusOk);
  EXPECT_EQ(vecPayload.size(), kMaterialSize);
}

TEST_F(RawPeerLink, SendsAreRefusedUntilTheExchangeCompletes) {
  init(0);
  RawPeer server;
  m_nPort = server.listenOnFreePort();
  uint16_t uClient = startClient();
  ASSERT_TRUE(server.acceptOne());
  ZTIP_Head_Para head = makeHead(0x5000, 0x0300);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(ztIP_SendBySocketId(uClient, &head, 0, 0, nullptr), 0xC3);
    std::this_thread::sleep_for(50ms);
  }
}

TEST_F(RawPeerLink, DebugModePutsThePayloadPlainOnTheWire) {
  init(1);
  RawPeer server;
  m_nPort = server.listenOnFreePort();
  uint16_t uClient = startClient();
  ASSERT_TRUE(server.acceptOne());
  ZTIP_Head_Para head = makeHead(0x5000, 0x0300, 77);
  uint8_t arrData[] = {'a', 'b', 'c'};
  ASSERT_EQ(ztIP_SendBySocketId(uClient, &head, 0, 3, arrData), 0x01);
  ZtipHead wire;
  std::vector<uint8_t> vecPayload;
  ASSERT_TRUE(readNonHeartbeat(server, wire, vecPayload));
  EXPECT_EQ(wire.uCryptMode, 0x0300);
  EXPECT_EQ(wire.uPadFlag, 0);
  EXPECT_EQ(wire.uCheckSum, 0x9DD6);
  EXPECT_EQ(wire.uProductType, 1);
  EXPECT_EQ(wire.uSubType, 0x11);
  EXPECT_EQ(vecPayload, std::vector<uint8_t>({'a', 'b', 'c'}));
  // Heartbeats then carry the unit id of the last application frame.
  ASSERT_TRUE(server.readFrame(wire, vecPayload));
  EXPECT_EQ(wire.uCmd, kCmdHeartbeat);
  EXPECT_EQ(wire.uUnitId, 77u);
  EXPECT_EQ(wire.uSessionId, 0x00001235u);
}

TEST_F(RawPeerLink, SilentPeerIsClosedWithTheIdsOfItsConnectNotify) {
  setRecvTimeoutMs(400);
  init(0);
  RawPeer server;
  m_nPort = server.listenOnFreePort();
  auto start = std::chrono::steady_clock::now();
  uint16_t uClient = startClient();
  ASSERT_TRUE(server.acceptOne());
  ASSERT_TRUE(waitUntil([] { return recorder().hasNotification(0, 0); }, 15s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s); // its own time-out, not the default 20 s
  std::vector<Notification> vecNotes = recorder().notifications();
  ASSERT_EQ(vecNotes.size(), 2u);
  EXPECT_EQ(vecNotes[0].nStatus, 1);
  EXPECT_EQ(vecNotes[1].nStatus, 0);
  EXPECT_EQ(vecNotes[1].uSocketId, uClient);
  EXPECT_EQ(vecNotes[1].uSocketId, vecNotes[0].uSocketId);
  EXPECT_EQ(vecNotes[1].strIp, vecNotes[0].strIp);
  EXPECT_EQ(vecNotes[1].nPort, vecNotes[0].nPort);
  EXPECT_TRUE(server.waitClosedByPeer(5s));
}

TEST_F(RawPeerLink, SendToAPeerThatStopsReadingGivesUpAfterTheTimeOut) {
  setRecvTimeoutMs(500);
  init(1);
  RawPeer server;
  m_nPort = server.listenOnFreePort();
  uint16_t uClient = startClient();
  ASSERT_TRUE(server.acceptOne()); // and never reads
  std::vector<uint8_t> vecData(2457600);
  ZTIP_Head_Para head = makeHead(0x5000, 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ztIP_SendBySocketId(uClient, &head, 0, static_cast<int>(vecData.size()), vecData.data()), 0xF3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s); // its own time-out, not the default 20 s
  EXPECT_TRUE(waitUntil([] { return recorder().hasNotification(0, 0); }, 15s));
}

int acceptLimitInForce(int) {
  return 1;
}

TEST_F(RawPeerLink, StalledExchangeIsDroppedOnceTheLimitIsInForce) {
  ZtipTimings values = timings();
  values.uKeyExchangeLimitMs = 300;
  setTimings(values);
  setRecvTimeoutMs(60000); // only the exchange limit can end the stalled connection in time
  ASSERT_EQ(ztIP_Init(0, 1, 0x11, 0, acceptLimitInForce, nullptr, nullptr, nullptr), 0x01);
  m_bInit = true;
  ztIP_RegisterConnectionNotify(recordNotification);
  startServer();
  RawPeer first;
  ASSERT_TRUE(first.connectTo(m_nPort));
  respondToExchange(first, readFirstPass(first)); // the callback returns 1: the limit applies from now on
  ASSERT_NE(acceptedId(), 0);
  RawPeer stalled;
  ASSERT_TRUE(stalled.connectTo(m_nPort));
  EXPECT_TRUE(stalled.waitClosedByPeer(20s)); // well before the minute-long receive time-out
}

} // namespace
} // namespace zt::ip::test
