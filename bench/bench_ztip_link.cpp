// Throughput and one-way latency of application frames over one loopback ZTIP connection in
// release mode with crypt mode 0x030F, measured side by side with raw loopback TCP carrying
// the same number of bytes. Prints "name value unit" lines.
#include "ZTIP.h"

#include "broker.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kCryptMode = 0x030F;
constexpr int kLatencySamples = 500;
constexpr int kRounds = 5;

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Appended to every name: which log settings the figures were taken with.
std::string g_strSuffix;

void print(const std::string &strName, double dValue, const char *pstrUnit) {
  std::printf("%s%s %.2f %s\n", strName.c_str(), g_strSuffix.c_str(), dValue, pstrUnit);
  std::fflush(stdout);
}

double median(std::vector<double> vecValues) {
  std::sort(vecValues.begin(), vecValues.end());
  return vecValues.empty() ? 0 : vecValues[vecValues.size() / 2];
}

// What the receiving side of either link saw. The first 8 payload bytes carry the send time.
std::atomic<uint64_t> g_uFrames{0};
std::atomic<int64_t> g_nLastSendNs{0};
std::atomic<int64_t> g_nLastArrivalNs{0};

void onFrame(int64_t nSentNs) {
  g_nLastSendNs = nSentNs;
  g_nLastArrivalNs = nowNs();
  ++g_uFrames;
}

void countZtipFrame(uint16_t, uint16_t, ZTIP_Head_Para, uint32_t uLen, const uint8_t *pData, const char *,
                    const char *) {
  int64_t nSentNs = 0;
  if (uLen >= sizeof(nSentNs))
    std::memcpy(&nSentNs, pData, sizeof(nSentNs));
  onFrame(nSentNs);
}

void resetCounters() {
  g_uFrames = 0;
  g_nLastSendNs = 0;
  g_nLastArrivalNs = 0;
}

bool waitFrames(uint64_t uCount) {
  return zt::test::waitFor([&] { return g_uFrames >= uCount; }, std::chrono::seconds(60));
}

// A link under test: sends one frame of the payload with its send time in front.
class Link {
public:
  virtual ~Link() = default;
  virtual bool send(std::vector<uint8_t> &vecPayload) = 0;
};

class ZtipLink : public Link {
public:
  bool open() {
    if (ztIP_Init(0, 1, 0x11, 0, nullptr, nullptr, nullptr, nullptr) != 0x01)
      return false;
    int nPort = zt::test::freeTcpPort();
    uint16_t uServer = 0;
    if (ztIP_StartTCPServer(&uServer, countZtipFrame, "127.0.0.1", nPort) != 0x01 ||
        ztIP_StartTCPClient(&m_uClient, countZtipFrame, "127.0.0.1", nPort) != 0x01)
      return false;
    std::vector<uint8_t> vecProbe(16);
    return zt::test::waitFor([&] { return sendOnce(vecProbe) != 0xC3; }) && waitFrames(1);
  }
  ~ZtipLink() override { ztIP_Exit(); }
  bool send(std::vector<uint8_t> &vecPayload) override { return sendOnce(vecPayload) == 0x01; }

private:
  uint8_t sendOnce(std::vector<uint8_t> &vecPayload) {
    int64_t nSentNs = nowNs();
    std::memcpy(vecPayload.data(), &nSentNs, sizeof(nSentNs));
    ZTIP_Head_Para head{};
    head.crypt_mode = kCryptMode;
    head.cmd = 0x1001;
    return ztIP_SendBySocketId(m_uClient, &head, 0, static_cast<int>(vecPayload.size()), vecPayload.data());
  }
  uint16_t m_uClient = 0;
};

// Raw loopback TCP with default socket options and a reader thread that counts fixed-size
// frames.
class RawLink : public Link {
public:
  bool open(size_t nFrameSize) {
    int nListen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof(addr);
    if (::bind(nListen, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
        ::listen(nListen, 1) != 0 || getsockname(nListen, reinterpret_cast<sockaddr *>(&addr), &nLen) != 0)
      return false;
    m_nSend = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(m_nSend, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0)
      return false;
    m_nRecv = ::accept(nListen, nullptr, nullptr);
    ::close(nListen);
    m_reader = std::thread([this, nFrameSize] { readFrames(nFrameSize); });
    return m_nRecv >= 0;
  }
  ~RawLink() override {
    ::shutdown(m_nSend, SHUT_RDWR);
    if (m_reader.joinable())
      m_reader.join();
    ::close(m_nSend);
    ::close(m_nRecv);
  }
  bool send(std::vector<uint8_t> &vecPayload) override {
    int64_t nSentNs = nowNs();
    std::memcpy(vecPayload.data(), &nSentNs, sizeof(nSentNs));
    size_t nDone = 0;
    while (nDone < vecPayload.size()) {
      ssize_t nRet = ::send(m_nSend, vecPayload.data() + nDone, vecPayload.size() - nDone, MSG_NOSIGNAL);
      if (nRet <= 0)
        return false;
      nDone += static_cast<size_t>(nRet);
    }
    return true;
  }

private:
  // Reads as much as the socket has, like a tuned receiver would, and counts the frames
  // whose last byte arrived; the first 8 bytes of each carry its send time.
  void readFrames(size_t nFrameSize) {
    std::vector<uint8_t> vecChunk(256 * 1024);
    size_t nPos = 0; // position within the current frame
    uint8_t arrStamp[8];
    for (;;) {
      ssize_t nRet = ::recv(m_nRecv, vecChunk.data(), vecChunk.size(), 0);
      if (nRet <= 0)
        return;
      for (size_t i = 0; i < static_cast<size_t>(nRet);) {
        if (nPos < sizeof(arrStamp)) {
          arrStamp[nPos++] = vecChunk[i++];
        } else {
          size_t nTake = std::min(nFrameSize - nPos, static_cast<size_t>(nRet) - i);
          nPos += nTake;
          i += nTake;
        }
        if (nPos == nFrameSize) {
          int64_t nSentNs;
          std::memcpy(&nSentNs, arrStamp, sizeof(nSentNs));
          onFrame(nSentNs);
          nPos = 0;
        }
      }
    }
  }
  int m_nSend = -1;
  int m_nRecv = -1;
  std::thread m_reader;
};

// Frames per second from the first send to the last arrival; 0 when frames went missing.
double measureThroughput(Link &link, size_t nFrameSize, uint64_t uFrames) {
  std::vector<uint8_t> vecPayload(nFrameSize, 0x5A);
  resetCounters();
  int64_t nStartNs = nowNs();
  for (uint64_t i = 0; i < uFrames; ++i)
    if (!link.send(vecPayload))
      return 0;
  if (!waitFrames(uFrames))
    return 0;
  return uFrames / ((g_nLastArrivalNs - nStartNs) / 1e9);
}

// Median one-way time of single frames sent one at a time, in microseconds.
double measureLatency(Link &link, size_t nFrameSize) {
  std::vector<uint8_t> vecPayload(nFrameSize, 0x5A);
  std::vector<double> vecSamples;
  for (int i = 0; i < kLatencySamples; ++i) {
    resetCounters();
    if (!link.send(vecPayload) || !waitFrames(1))
      return 0;
    vecSamples.push_back((g_nLastArrivalNs - g_nLastSendNs) / 1e3);
  }
  return median(vecSamples);
}

// Alternates ZTIP and raw rounds and reports the median of each, since other load on the
// machine moves single runs a lot.
void compareThroughput(const char *pstrLabel, size_t nFrameSize, uint64_t uFrames, ZtipLink &ztip) {
  std::vector<double> vecZtip, vecRaw;
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    vecZtip.push_back(measureThroughput(ztip, nFrameSize, uFrames));
    RawLink raw;
    vecRaw.push_back(raw.open(nFrameSize) ? measureThroughput(raw, nFrameSize, uFrames) : 0);
  }
  double dZtip = median(vecZtip);
  double dRaw = median(vecRaw);
  std::string strPrefix = std::string("ztip_link_") + pstrLabel;
  print(strPrefix + "_frames", dZtip, "frames/s");
  print(strPrefix + "_throughput", dZtip * nFrameSize / 1e6, "MB/s");
  print(std::string("raw_tcp_") + pstrLabel + "_frames", dRaw, "frames/s");
  print(std::string("raw_tcp_") + pstrLabel + "_throughput", dRaw * nFrameSize / 1e6, "MB/s");
  print(strPrefix + "_vs_raw", dRaw > 0 ? dZtip / dRaw : 0, "ratio");
}

void runAll(const char *pstrLogLabel, const char *pstrSuffix) {
  std::printf("# library log: %s\n", pstrLogLabel);
  g_strSuffix = pstrSuffix;
  ZtipLink ztip;
  if (!ztip.open()) {
    std::printf("# ZTIP link could not be opened\n");
    return;
  }
  compareThroughput("1k", 1024, 20000, ztip);
  compareThroughput("64k", 65536, 3000, ztip);
  double dZtipLatency = measureLatency(ztip, 1024);
  RawLink raw;
  double dRawLatency = raw.open(1024) ? measureLatency(raw, 1024) : 0;
  print("ztip_link_1k_latency_p50", dZtipLatency, "us");
  print("raw_tcp_1k_latency_p50", dRawLatency, "us");
}

} // namespace

int main() {
  // As loaded: the daily log takes every line, including a transfer record per frame.
  runAll("default switches (level 0, a transfer record per frame sent and received)", "");
  // Errors only, as a deployment that does not trace every frame would run.
  ztIP_SetLogLevel(3);
  runAll("level 3 (errors only)", "_log_errors_only");
  return 0;
}
