#include "connection/ztip_time_sync.h"
#include "api/ztip_guard.h"

#include "ZTIP.h"
#include "api/ztip_library.h"
#include "codec/ztip_result.h"
#include "connection/ztip_socket.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

namespace zt::ip {
namespace {

constexpr size_t kPacketSize = 48;
constexpr size_t kReceiveTimestampOffset = 32;
constexpr uint32_t kEpochShift = 2085978496u; // 1970 - 1900 in seconds, modulo 2^32
constexpr int kReceiveTries = 6;
constexpr int kTryIntervalMs = 200;
constexpr long kSetMilliseconds = 520;

bool setSystemClock(const timespec &when) {
  return clock_settime(CLOCK_REALTIME, &when) == 0;
}

// Waits for the answer; its length, or 0 when none came or it was too short to hold the
// receive timestamp.
size_t receiveAnswer(int nSocket, uint8_t *pAnswer) {
  for (int nTry = 0; nTry < kReceiveTries; ++nTry) {
    if (nTry > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(kTryIntervalMs));
    ssize_t nRet = ::recvfrom(nSocket, pAnswer, kPacketSize, 0, nullptr, nullptr);
    if (nRet < 0 && isTransientError(lastSocketError()))
      continue;
    std::printf("receive data from server ret : %d\n", static_cast<int>(nRet));
    if (nRet == 0) {
      std::printf("connection closed\n");
      return 0;
    }
    if (nRet < static_cast<ssize_t>(kPacketSize)) {
      std::printf("recv failed\n");
      return 0;
    }
    return static_cast<size_t>(nRet);
  }
  std::printf("recv failed\n");
  return 0;
}

uint8_t requestTime(int nSocket, const char *pstrServerIp, int nPort, ClockSetter pSetClock) {
  if (!setNonBlocking(nSocket)) {
    std::printf("set sync time udp unblock failure\n");
    return kResultFailed;
  }
  std::printf("set sync time udp unblock success\n");
  sockaddr_in addr;
  if (!makeAddress(pstrServerIp, nPort, addr) ||
      ::connect(nSocket, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
    std::printf("fail to connect to server\n");
    return kResultFailed;
  }
  uint8_t request[kPacketSize] = {0x1B, 0, 5, 0xFA};
  if (::send(nSocket, request, sizeof(request), 0) != static_cast<ssize_t>(sizeof(request))) {
    std::printf("send data to server error\n");
    return kResultFailed;
  }
  uint8_t answer[kPacketSize];
  if (receiveAnswer(nSocket, answer) == 0)
    return kResultFailed;
  uint32_t uNtpSeconds;
  std::memcpy(&uNtpSeconds, answer + kReceiveTimestampOffset, sizeof(uNtpSeconds));
  timespec when{static_cast<time_t>(ntpToUnixSeconds(ntohl(uNtpSeconds))), kSetMilliseconds * 1000000L};
  return pSetClock(when) ? kResultOk : kResultFailed;
}

} // namespace

uint32_t ntpToUnixSeconds(uint32_t uNtpSeconds) {
  return uNtpSeconds + kEpochShift;
}

uint8_t syncTimeByServer(const char *pstrServerIp, int nPort, ClockSetter pSetClock) {
  if (pstrServerIp == nullptr)
    return kResultFailed;
  int nSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (nSocket < 0) {
    std::printf("fail to create socket\n");
    return kResultFailed;
  }
  uint8_t uRet = requestTime(nSocket, pstrServerIp, nPort, pSetClock);
  closeSocket(nSocket);
  return uRet;
}

} // namespace zt::ip

extern "C" uint8_t ztIP_SyncTimeByServer(const char *serverIp) {
  return zt::ip::ztipGuarded("ztIP_SyncTimeByServer", zt::ip::kResultFailed, [&]() -> uint8_t {
    if (!zt::ip::library().bInit)
      return zt::ip::kResultNotInit;
    return zt::ip::syncTimeByServer(serverIp, zt::ip::kTimeServerPort, zt::ip::setSystemClock);
  });
}
