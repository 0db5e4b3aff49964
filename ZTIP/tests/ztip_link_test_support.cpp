#include "ztip_link_test_support.h"

#include "connection/ztip_context.h"
#include "codec/ztip_frame_builder.h"
#include "api/ztip_library.h"

#include "broker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace zt::ip::test {

void Recorder::clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_vecFrames.clear();
  m_vecNotifications.clear();
}

void Recorder::addFrame(const ReceivedFrame &frame) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_vecFrames.push_back(frame);
}

void Recorder::addNotification(const Notification &notification) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_vecNotifications.push_back(notification);
}

std::vector<ReceivedFrame> Recorder::frames() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vecFrames;
}

std::vector<ReceivedFrame> Recorder::framesOn(uint16_t uSocketId) const {
  std::vector<ReceivedFrame> vecResult;
  for (const ReceivedFrame &frame : frames())
    if (frame.uSocketId == uSocketId)
      vecResult.push_back(frame);
  return vecResult;
}

std::vector<Notification> Recorder::notifications() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vecNotifications;
}

bool Recorder::hasNotification(int nType, int nStatus) const {
  for (const Notification &notification : notifications())
    if (notification.nType == nType && notification.nStatus == nStatus)
      return true;
  return false;
}

Recorder &recorder() {
  static Recorder s_recorder;
  return s_recorder;
}

void recordFrame(uint16_t uSocketId, uint16_t uServerSocketId, ZTIP_Head_Para head, uint32_t uLen,
                 const uint8_t *pData, const char *pstrIp, const char *pstrPort) {
  recorder().addFrame({uSocketId, uServerSocketId, head, std::vector<uint8_t>(pData, pData + uLen),
                       pstrIp != nullptr ? pstrIp : "(null)", pstrPort != nullptr ? pstrPort : "(null)"});
}

void recordNotification(int nType, int nStatus, uint16_t uSocketId, const char *pstrIp, int nPort) {
  recorder().addNotification({nType, nStatus, uSocketId, pstrIp != nullptr ? pstrIp : "", nPort});
}

bool waitUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout) {
  return zt::test::waitFor(pred, timeout);
}

ZTIP_Head_Para makeHead(uint16_t uCmd, uint16_t uCryptMode, uint32_t uUnitId) {
  ZTIP_Head_Para head{};
  head.crypt_mode = uCryptMode;
  head.protocol_type = 0x21;
  head.func_code = 0x42;
  head.cmd = uCmd;
  head.status = 0x0001;
  head.unit_id = uUnitId;
  head.session_id = 0x01020304;
  return head;
}

std::vector<uint8_t> pattern(size_t nLen, uint8_t uSeed) {
  std::vector<uint8_t> vecData(nLen);
  for (size_t i = 0; i < nLen; ++i)
    vecData[i] = static_cast<uint8_t>(i * 7 + uSeed + (i >> 8));
  return vecData;
}

void LinkTest::SetUp() {
  recorder().clear();
  ZtipTimings values;
  values.uKeyContactTickMs = 50;
  values.nHeartbeatEveryTicks = 2;
  values.uHeartbeatIdleMs = 100;
  values.nKeyLimitEveryTicks = 2;
  values.uRefreshTickMs = 100;
  values.nWaitTimeoutMs = 200;
  setTimings(values);
  setRecvTimeoutMs(2000);
}

void LinkTest::init(int nMode) {
  ASSERT_EQ(ztIP_Init(nMode, 1, 0x11, 0, nullptr, nullptr, nullptr, nullptr), 0x01);
  m_bInit = true;
  ztIP_RegisterConnectionNotify(recordNotification);
}

void LinkTest::TearDown() {
  if (m_bInit) {
    EXPECT_EQ(ztIP_Exit(), 0x01);
  }
  ztIP_RegisterConnectionNotify(nullptr);
  setTimings(ZtipTimings());
  setRecvTimeoutMs(kDefaultRecvTimeoutSeconds * 1000);
  setConnectionRangeSize(0);
  recorder().clear();
}

uint16_t LinkTest::startServer() {
  uint16_t uServerId = 0;
  m_nPort = zt::test::freeTcpPort();
  EXPECT_EQ(ztIP_StartTCPServer(&uServerId, recordFrame, "127.0.0.1", m_nPort), 0x01);
  return uServerId;
}

uint16_t LinkTest::startClient() {
  uint16_t uClientId = 0;
  EXPECT_EQ(ztIP_StartTCPClient(&uClientId, recordFrame, "127.0.0.1", m_nPort), 0x01);
  return uClientId;
}

uint8_t LinkTest::sendWhenKeysAgreed(uint16_t uSocketId, ZTIP_Head_Para head,
                                     const std::vector<uint8_t> &vecData) {
  uint8_t uRet = 0;
  waitUntil([&] {
    ZTIP_Head_Para copy = head;
    uRet = ztIP_SendBySocketId(uSocketId, &copy, 0, static_cast<int>(vecData.size()), vecData.data());
    return uRet != 0xC3;
  });
  return uRet;
}

uint16_t LinkTest::acceptedId() {
  uint16_t uId = 0;
  waitUntil([&] {
    for (const Notification &notification : recorder().notifications())
      if (notification.nType == 1 && notification.nStatus == 1)
        uId = notification.uSocketId;
    return uId != 0;
  });
  return uId;
}

RawPeer::~RawPeer() {
  close();
  if (m_nListen >= 0)
    ::close(m_nListen);
}

bool RawPeer::connectTo(int nPort) {
  m_nSocket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(nPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return ::connect(m_nSocket, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0;
}

int RawPeer::listenOnFreePort() {
  m_nListen = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t nLen = sizeof(addr);
  if (::bind(m_nListen, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
      ::listen(m_nListen, 16) != 0 || getsockname(m_nListen, reinterpret_cast<sockaddr *>(&addr), &nLen) != 0)
    return -1;
  return ntohs(addr.sin_port);
}

bool RawPeer::acceptOne(std::chrono::milliseconds timeout) {
  pollfd pfd{m_nListen, POLLIN, 0};
  if (poll(&pfd, 1, static_cast<int>(timeout.count())) <= 0)
    return false;
  m_nSocket = ::accept(m_nListen, nullptr, nullptr);
  return m_nSocket >= 0;
}

bool RawPeer::sendBytes(const std::vector<uint8_t> &vecBytes) {
  return ::send(m_nSocket, vecBytes.data(), vecBytes.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(vecBytes.size());
}

bool RawPeer::readExact(uint8_t *pOut, size_t nLen, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  size_t nDone = 0;
  while (nDone < nLen) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd pfd{m_nSocket, POLLIN, 0};
    if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
      return false;
    ssize_t nRet = ::recv(m_nSocket, pOut + nDone, nLen - nDone, 0);
    if (nRet <= 0)
      return false;
    nDone += static_cast<size_t>(nRet);
  }
  return true;
}

bool RawPeer::readFrame(ZtipHead &head, std::vector<uint8_t> &vecPayload, std::chrono::milliseconds timeout) {
  uint8_t arrHead[kHeadSize];
  if (!readExact(arrHead, sizeof(arrHead), timeout))
    return false;
  head = decodeHead(arrHead);
  vecPayload.resize(head.uCmd == kCmdHeartbeat ? 0 : head.uObjLen);
  return vecPayload.empty() || readExact(vecPayload.data(), vecPayload.size(), timeout);
}

bool RawPeer::waitClosedByPeer(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  uint8_t arrDrop[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{m_nSocket, POLLIN, 0};
    if (poll(&pfd, 1, 50) > 0 && ::recv(m_nSocket, arrDrop, sizeof(arrDrop), 0) <= 0)
      return true;
  }
  return false;
}

void RawPeer::close() {
  if (m_nSocket >= 0)
    ::close(m_nSocket);
  m_nSocket = -1;
}

std::vector<uint8_t> rawFrame(uint16_t uCmd, uint16_t uStatus, const std::vector<uint8_t> &vecPayload) {
  FrameSender sender{7, 1, false, true};
  ZTIP_Head_Para para{};
  para.protocol_type = 0x80;
  para.func_code = 0x10;
  para.cmd = uCmd;
  para.status = uStatus;
  std::vector<uint8_t> vecFrame;
  assembleFrame(sender, para, 0, vecPayload.data(), vecPayload.size(), vecFrame);
  return vecFrame;
}

} // namespace zt::ip::test
