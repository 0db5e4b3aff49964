// The exported operations around the links: init and exit, result codes of the start and
// setting operations, the connection-range limit, the socket list, UDP and time sync.
#include "ztip_link_test_support.h"

#include "connection/ztip_context.h"
#include "api/ztip_library.h"
#include "connection/ztip_time_sync.h"

#include "broker.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace zt::ip::test {
namespace {

using namespace std::chrono_literals;

class ApiTest : public LinkTest {};

TEST_F(ApiTest, InitExitAndInitAgain) {
  EXPECT_EQ(ztIP_Exit(), 0xFE);
  init(1);
  EXPECT_EQ(ztIP_Init(0, 2, 2, 0, nullptr, nullptr, nullptr, nullptr), 0xFD);
  EXPECT_TRUE(library().bDebugMode); // the second call changed nothing
  startServer();
  startClient();
  EXPECT_EQ(ztIP_Exit(), 0x01);
  m_bInit = false;
  recorder().clear();
  init(1);
  startServer();
  uint16_t uClient = startClient();
  ZTIP_Head_Para head = makeHead(0x0100, 0);
  uint8_t arrData[] = {1, 2};
  ASSERT_EQ(ztIP_SendBySocketId(uClient, &head, 0, 2, arrData), 0x01);
  EXPECT_TRUE(waitUntil([] { return recorder().frames().size() == 1; }));
}

TEST_F(ApiTest, OperationsNeedInit) {
  uint16_t uId = 0;
  ZTIP_Head_Para head = makeHead(1, 0);
  ZtipSocketEntry *pList = nullptr;
  int nCount = 0;
  EXPECT_EQ(ztIP_StartTCPServer(&uId, recordFrame, nullptr, 1), 0xFE);
  EXPECT_EQ(ztIP_StartTCPClient(&uId, recordFrame, "127.0.0.1", 1), 0xFE);
  EXPECT_EQ(ztIP_StartUDPClient(&uId, nullptr, 1, recordFrame), 0xFE);
  EXPECT_EQ(ztIP_StartUDPServer(&uId, recordFrame, nullptr, nullptr, 1), 0xFE);
  EXPECT_EQ(ztIP_SendBySocketId(30, &head, 0, 0, nullptr), 0xFE);
  EXPECT_EQ(ztIP_UdpSendTo(0, &head, 0, 0, nullptr, "127.0.0.1", 1), 0xFE);
  EXPECT_EQ(ztIP_SocketIdList(&pList, &nCount), 0xFE);
  EXPECT_EQ(ztIP_SyncTimeByServer("127.0.0.1"), 0xFE);
  EXPECT_EQ(ztIP_Disconnect(30), 0x00);
}

TEST_F(ApiTest, StartOperationsReportTheirFailures) {
  init(0);
  uint16_t uId = 0;
  EXPECT_EQ(ztIP_StartTCPServer(&uId, nullptr, nullptr, 1), 0xD7);
  EXPECT_EQ(ztIP_StartTCPClient(&uId, nullptr, "127.0.0.1", 1), 0xD7);
  RawPeer occupant;
  int nBusyPort = occupant.listenOnFreePort();
  EXPECT_EQ(ztIP_StartTCPServer(&uId, recordFrame, "127.0.0.1", nBusyPort), 0xD3);
  int nClosedPort = zt::test::freeTcpPort();
  EXPECT_EQ(ztIP_StartTCPClient(&uId, recordFrame, "127.0.0.1", nClosedPort), 0xD4);
  EXPECT_EQ(ztIP_StartTCPClient_BindIP(&uId, recordFrame, "127.0.0.1", nBusyPort, "192.0.2.1"), 0xD3);
  EXPECT_EQ(ztIP_StartTCPClient_BindIP(&uId, recordFrame, "127.0.0.1", nBusyPort, "127.0.0.1"), 0x01);
  EXPECT_GE(uId, 30);
}

TEST_F(ApiTest, SettersKeepTheirRanges) {
  init(0);
  ztIP_SetTimeOutValue(20);
  EXPECT_EQ(ztIP_SetTimeOutValue(4), 4);
  EXPECT_EQ(ztIP_SetTimeOutValue(61), 61);
  EXPECT_EQ(library().uRecvTimeoutMs, 20000u);
  ztIP_SetTimeOutValue(5);
  EXPECT_EQ(library().uRecvTimeoutMs, 5000u);
  ztIP_SetTimeOutValue(60);
  EXPECT_EQ(library().uRecvTimeoutMs, 60000u);

  uint16_t arrCmds[46];
  for (int i = 0; i < 46; ++i)
    arrCmds[i] = static_cast<uint16_t>(0x7000 + i);
  EXPECT_EQ(ztIP_SetPriorityCMDSet(arrCmds, 46), 0xC1);
  EXPECT_EQ(ztIP_SetPriorityCMDSet(nullptr, 1), 0xC1);
  EXPECT_EQ(ztIP_SetPriorityCMDSet(arrCmds, 45), 0x01);
  EXPECT_EQ(ztIP_SetPriorityCMDSet(arrCmds, 0), 0x01);
}

TEST_F(ApiTest, VersionAndModuleInformation) {
  EXPECT_STREQ(getZTIPVersion(), "V1.3.4");
  ZtModuleInfo info;
  std::memset(&info, 'x', sizeof(info));
  EXPECT_EQ(ztIP_Moduleinfo(&info), 0x01);
  EXPECT_STREQ(info.szVersion, "V1.3.4");
  EXPECT_STREQ(info.szBuildTime, "Oct  8 2021 10:06:50");
  EXPECT_STREQ(info.szModuleType, "ZTM2041");
  EXPECT_STREQ(info.szModuleName, "ZTIP");
  EXPECT_EQ(ztIP_Moduleinfo(nullptr), 0x00);
}

TEST_F(ApiTest, ConnectionRangeLimitRefusesOneMoreAndReusesFreedIds) {
  setConnectionRangeSize(3);
  init(1);
  RawPeer server;
  m_nPort = server.listenOnFreePort();
  uint16_t arrIds[3];
  for (uint16_t &uId : arrIds)
    uId = startClient();
  EXPECT_EQ(arrIds[0], 30);
  EXPECT_EQ(arrIds[2], 32);
  uint16_t uRefused = 0;
  EXPECT_EQ(ztIP_StartTCPClient(&uRefused, recordFrame, "127.0.0.1", m_nPort), 0xD8);
  ZtipSocketEntry *pList = nullptr;
  int nCount = 0;
  ASSERT_EQ(ztIP_SocketIdList(&pList, &nCount), 0x01);
  EXPECT_EQ(nCount, 4); // the log socket and the three clients

  ztIP_Disconnect(arrIds[1]);
  ASSERT_TRUE(waitUntil([] { return recorder().hasNotification(0, 0); }));
  EXPECT_EQ(startClient(), arrIds[1]); // the cursor wrapped to the lowest free id
}

TEST_F(ApiTest, ServerClosesConnectionsBeyondTheRange) {
  setConnectionRangeSize(2);
  init(0);
  startServer();
  RawPeer arrPeers[3];
  ZtipHead head;
  std::vector<uint8_t> vecPayload;
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(arrPeers[i].connectTo(m_nPort));
    ASSERT_TRUE(arrPeers[i].readFrame(head, vecPayload)) << i;
    EXPECT_EQ(head.uCmd, kCmdKeyExchange);
  }
  ASSERT_TRUE(arrPeers[2].connectTo(m_nPort));
  EXPECT_TRUE(arrPeers[2].waitClosedByPeer(2s));
  EXPECT_TRUE(arrPeers[0].sendBytes(rawFrame(kCmdHeartbeat, 0, {})));
  EXPECT_FALSE(arrPeers[0].waitClosedByPeer(300ms));
}

TEST_F(ApiTest, SocketListDescribesEveryKind) {
  init(1);
  uint16_t uServer = startServer();
  uint16_t uClient = startClient();
  ZtipSocketEntry *pList = nullptr;
  int nCount = 0;
  // The log socket, the server, the client and the connection the server accepted.
  ASSERT_TRUE(waitUntil([&] { return ztIP_SocketIdList(&pList, &nCount) == 0x01 && nCount == 4; }));
  EXPECT_EQ(pList[0].socket_id, 0); // UDP sockets come first
  EXPECT_EQ(pList[0].tcp, 0);
  EXPECT_EQ(pList[1].socket_id, uServer);
  EXPECT_EQ(pList[1].client, 0);
  // The client and the accepted connection, in the order their ids were given.
  for (int i = 2; i < 4; ++i) {
    EXPECT_GE(pList[i].socket_id, 30);
    EXPECT_EQ(pList[i].tcp, 1);
    EXPECT_EQ(pList[i].client, 1);
    EXPECT_STREQ(pList[i].ip, "127.0.0.1");
    EXPECT_STREQ(pList[i].port, std::to_string(m_nPort).c_str()); // an accepted one names the server's port
  }
  EXPECT_TRUE(pList[2].socket_id == uClient || pList[3].socket_id == uClient);
  EXPECT_LT(pList[2].socket_id, pList[3].socket_id);
}

std::mutex g_packetLock;
std::vector<std::string> g_vecPacketTexts;
void recordPacket(ZtipUdpPacket packet) {
  std::lock_guard<std::mutex> lock(g_packetLock);
  g_vecPacketTexts.push_back(std::string(reinterpret_cast<const char *>(packet.data), packet.data_len) + "|" +
                             packet.ip + "|" + std::to_string(packet.cmd));
}

int freeUdpPort() {
  int nSocket = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t nLen = sizeof(addr);
  ::bind(nSocket, reinterpret_cast<sockaddr *>(&addr), sizeof(addr));
  getsockname(nSocket, reinterpret_cast<sockaddr *>(&addr), &nLen);
  ::close(nSocket);
  return ntohs(addr.sin_port);
}

TEST_F(ApiTest, UdpFramesReachTheServerCallbacks) {
  init(0);
  int nPort = freeUdpPort();
  uint16_t uServer = 0, uClient = 0;
  ASSERT_EQ(ztIP_StartUDPServer(&uServer, recordFrame, "127.0.0.1", "eth0", nPort), 0x01);
  ASSERT_EQ(ztIP_StartUDPClient(&uClient, nullptr, nPort, recordFrame), 0x01);
  EXPECT_LT(uServer, 15);
  ZTIP_Head_Para head = makeHead(0x6001, 0x0101);
  std::vector<uint8_t> vecData = pattern(100, 1);
  ASSERT_EQ(ztIP_UdpSendTo(uClient, &head, 0, 100, vecData.data(), "127.0.0.1", nPort), 0x01);
  EXPECT_EQ(head.crypt_mode, 0x8000); // set in the caller's head
  ASSERT_TRUE(waitUntil([&] { return recorder().framesOn(uServer).size() == 1; }));
  ReceivedFrame frame = recorder().framesOn(uServer)[0];
  EXPECT_EQ(frame.vecData, vecData); // never encrypted
  EXPECT_EQ(frame.strIp, "(null)");
  EXPECT_EQ(frame.head.cmd, 0x6001);

  ASSERT_EQ(ztIP_RegisterUdpCallback_BySockID(recordPacket, uServer), 0x01);
  uint8_t arrText[] = {'h', 'i'};
  head.cmd = 0x6002;
  ASSERT_EQ(ztIP_UdpSendTo(uClient, &head, 0, 2, arrText, "127.0.0.1", nPort), 0x01);
  ASSERT_TRUE(waitUntil([] {
    std::lock_guard<std::mutex> lock(g_packetLock);
    return g_vecPacketTexts.size() == 1;
  }));
  {
    std::lock_guard<std::mutex> lock(g_packetLock);
    EXPECT_EQ(g_vecPacketTexts[0], "hi|127.0.0.1|" + std::to_string(0x6002));
  }
  EXPECT_EQ(recorder().framesOn(uServer).size(), 1u); // the creation callback was replaced

  std::vector<uint8_t> vecLarge(8192 - 32 + 1);
  EXPECT_EQ(ztIP_UdpSendTo(uClient, &head, 0, static_cast<int>(vecLarge.size()), vecLarge.data(), "127.0.0.1",
                           nPort),
            0xF3);
  std::vector<uint8_t> vecFull(8192 - 32);
  EXPECT_EQ(
      ztIP_UdpSendTo(uClient, &head, 0, static_cast<int>(vecFull.size()), vecFull.data(), "127.0.0.1", nPort),
      0x01);
  startServer();
  uint16_t uTcp = startClient();
  EXPECT_EQ(ztIP_UdpSendTo(uTcp, &head, 0, 2, arrText, "127.0.0.1", nPort), 0xD9);
}

// A time server on a loopback port that answers one request with a fixed receive time.
class FakeTimeServer {
public:
  explicit FakeTimeServer(size_t nAnswerLen) : m_nAnswerLen(nAnswerLen) {
    m_nSocket = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof(addr);
    ::bind(m_nSocket, reinterpret_cast<sockaddr *>(&addr), sizeof(addr));
    getsockname(m_nSocket, reinterpret_cast<sockaddr *>(&addr), &nLen);
    m_nPort = ntohs(addr.sin_port);
    m_thread = std::thread([this] { answerOnce(); });
  }
  ~FakeTimeServer() {
    finish();
    ::close(m_nSocket);
  }
  int port() const { return m_nPort; }
  // The request it got, once it answered.
  std::vector<uint8_t> request() {
    finish();
    return m_vecRequest;
  }

  static constexpr uint32_t kNtpSeconds = 3913056000u; // 2024-01-01 00:00:00 UTC

private:
  void answerOnce() {
    uint8_t arrRequest[64];
    sockaddr_in from{};
    socklen_t nLen = sizeof(from);
    ssize_t nGot =
        ::recvfrom(m_nSocket, arrRequest, sizeof(arrRequest), 0, reinterpret_cast<sockaddr *>(&from), &nLen);
    if (nGot <= 0)
      return;
    m_vecRequest.assign(arrRequest, arrRequest + nGot);
    uint8_t arrAnswer[48] = {0x1C};
    uint32_t uSeconds = htonl(kNtpSeconds);
    std::memcpy(arrAnswer + 32, &uSeconds, 4);
    ::sendto(m_nSocket, arrAnswer, m_nAnswerLen, 0, reinterpret_cast<sockaddr *>(&from), nLen);
  }

  void finish() {
    if (m_thread.joinable())
      m_thread.join();
  }

  size_t m_nAnswerLen;
  int m_nSocket = -1;
  int m_nPort = 0;
  std::vector<uint8_t> m_vecRequest;
  std::thread m_thread;
};

timespec g_setTime{};
bool recordClock(const timespec &when) {
  g_setTime = when;
  return true;
}
bool refuseClock(const timespec &) {
  return false;
}

TEST(TimeSync, SetsTheClockFromTheReceiveTimestamp) {
  {
    FakeTimeServer server(48);
    EXPECT_EQ(syncTimeByServer("127.0.0.1", server.port(), recordClock), 0x01);
  }
  EXPECT_EQ(g_setTime.tv_sec, 1704067200); // 2024-01-01 00:00:00 UTC
  EXPECT_EQ(g_setTime.tv_nsec, 520000000L);
  EXPECT_EQ(ntpToUnixSeconds(2208988800u), 0u);
}

TEST(TimeSync, SendsAnSntpRequest) {
  FakeTimeServer server(48);
  syncTimeByServer("127.0.0.1", server.port(), recordClock);
  std::vector<uint8_t> vecExpected(48, 0);
  vecExpected[0] = 0x1B;
  vecExpected[2] = 5;
  vecExpected[3] = 0xFA;
  EXPECT_EQ(server.request(), vecExpected);
}

TEST(TimeSync, FailuresLeaveTheClockAlone) {
  {
    FakeTimeServer server(48);
    EXPECT_EQ(syncTimeByServer("127.0.0.1", server.port(), refuseClock), 0x00);
  }
  {
    FakeTimeServer shortAnswer(20); // too short to hold the receive timestamp
    EXPECT_EQ(syncTimeByServer("127.0.0.1", shortAnswer.port(), recordClock), 0x00);
  }
  EXPECT_EQ(syncTimeByServer(nullptr, 123, recordClock), 0x00);
  EXPECT_EQ(syncTimeByServer("127.0.0.1", freeUdpPort(), recordClock), 0x00);
}

} // namespace
} // namespace zt::ip::test
