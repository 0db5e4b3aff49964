// Messages per second from one ztmq task to another, over tcp://127.0.0.1 and inproc, with 64-byte
// and 4 KiB payloads, side by side with raw libzmq DEALER -> DEALER sending the same two-part
// messages (200-byte header + payload) on the same transport; and the p50 round trip of a request
// and its reply, against raw sockets arranged as ztmq arranges them (each side receives on a bound
// socket in a thread of its own and sends through a connected one). Prints "name value unit" lines.
//
// Two passes: ztmq as configured by default (log level debug: every step is logged and traced),
// then in a child process with a ztmq.cfg of "level = error" beside the program, as a deployment
// that does not trace every message would run.
#include "ztmq.h"

#include "broker.h"
#include "round_trips.h"
#include "zmq_parts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using zt::mq::test::receiveParts;
using zt::mq::test::sendParts;

constexpr size_t kHeaderSize = 200;
constexpr int kRounds = 3;
constexpr int kRoundTrips = 2000;

std::string g_strSuffix; // which log settings the figures were taken with

void print(const std::string &strName, double dValue, const char *pstrUnit) {
  std::printf("%s%s %.2f %s\n", strName.c_str(), g_strSuffix.c_str(), dValue, pstrUnit);
  std::fflush(stdout);
}

std::string endpointAddress(const std::string &strTransport, const std::string &strName) {
  return strTransport == "tcp" ? "127.0.0.1:" + std::to_string(zt::test::freeTcpPort()) : strName;
}

// Side A sends to side B, which counts what arrives or answers it back to A. As an exchange of
// round_trips.h, a request is a 64-byte message and its sn the sequence number.
class Pair : public zt::bench::Exchange {
public:
  virtual bool send(const std::string &strPayload, int nSn) = 0;
  bool start(int) override { return true; }
  void stop() override {}
  bool sendRequest(uint32_t uSN) override { return send(std::string(64, 'q'), int(uSN)); }

  // Messages B counted and the time of the last one.
  std::atomic<uint64_t> m_uArrived{0};
  std::atomic<int64_t> m_nLastArrivalNs{0};

protected:
  void arrived() {
    m_nLastArrivalNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    ++m_uArrived;
  }
};

class ZtmqPair : public Pair {
public:
  ZtmqPair(const std::string &strTransport, bool bEcho) {
    static int s_nPair = 0;
    std::string strTag = strTransport + std::to_string(++s_nPair);
    m_strA = "bench_a_" + strTag;
    m_strB = "bench_b_" + strTag;
    ZTConfigSetAddr(m_strA.c_str(), endpointAddress(strTransport, m_strA).c_str());
    ZTConfigSetAddr(m_strB.c_str(), endpointAddress(strTransport, m_strB).c_str());
    ZTCreateTaskEx(m_strA.c_str(), onAnswer, nullptr, this);
    ZTCreateTaskEx(m_strB.c_str(), bEcho ? onRequest : onMessage, nullptr, this);
  }
  ~ZtmqPair() override {
    ZTDestroyTask(m_strA.c_str());
    ZTDestroyTask(m_strB.c_str());
  }
  bool send(const std::string &strPayload, int nSn) override {
    // A message the full queue refused (the probe or the header) is sent again.
    for (int nTry = 0; nTry < 1000; ++nTry) {
      if (ZTSendMessage(m_strA.c_str(), m_strB.c_str(), strPayload.data(), int(strPayload.size()), nSn) == 0) {
        return true;
      }
    }
    return false;
  }

private:
  static void onMessage(const char *, const char *, int, void *pUser, const ZtmqRecvInfo *) {
    static_cast<ZtmqPair *>(pUser)->arrived();
  }
  static void onRequest(const char *pstrSource, const char *pData, int nSize, void *pUser,
                        const ZtmqRecvInfo *pInfo) {
    ZTSendMessage(static_cast<ZtmqPair *>(pUser)->m_strB.c_str(), pstrSource, pData, nSize, pInfo->sn);
  }
  static void onAnswer(const char *, const char *, int, void *pUser, const ZtmqRecvInfo *pInfo) {
    static_cast<ZtmqPair *>(pUser)->m_onResponse(uint32_t(pInfo->sn));
  }
  std::string m_strA, m_strB;
};

// Raw DEALER sockets with default options in a context of their own: each side has a bound
// socket read by a thread of its own and a socket connected to the other side.
class RawPair : public Pair {
public:
  RawPair(const std::string &strTransport, bool bEcho) : m_pContext(zmq_ctx_new()) {
    static int s_nPair = 0;
    std::string strTag = std::to_string(++s_nPair);
    std::string strEndpointA = endpoint(strTransport, "raw_a_" + strTag);
    std::string strEndpointB = endpoint(strTransport, "raw_b_" + strTag);
    m_pA = bound(strEndpointA);
    m_pB = bound(strEndpointB);
    m_pToA = connected(strEndpointA);
    m_pToB = connected(strEndpointB);
    m_serveB = std::thread([this, bEcho] {
      for (std::vector<std::string> vecParts; (vecParts = receiveParts(m_pB)).size() == 2;) {
        bEcho ? static_cast<void>(sendParts(m_pToA, vecParts)) : arrived();
      }
    });
    m_serveA = std::thread([this] {
      for (std::vector<std::string> vecParts; (vecParts = receiveParts(m_pA)).size() == 2;) {
        int32_t nSn = 0;
        std::memcpy(&nSn, vecParts[0].data() + 192, sizeof nSn);
        m_onResponse(uint32_t(nSn));
      }
    });
  }
  ~RawPair() override {
    // A single part ends each thread.
    sendParts(m_pToB, {"stop"});
    m_serveB.join();
    sendParts(m_pToA, {"stop"});
    m_serveA.join();
    for (void *pSocket : {m_pA, m_pB, m_pToA, m_pToB}) {
      zmq_close(pSocket);
    }
    zmq_ctx_term(m_pContext);
  }
  bool send(const std::string &strPayload, int nSn) override {
    std::string strHeader(kHeaderSize, '\0');
    std::memcpy(&strHeader[192], &nSn, sizeof nSn);
    return sendParts(m_pToB, {strHeader, strPayload});
  }

private:
  static std::string endpoint(const std::string &strTransport, const std::string &strName) {
    return (strTransport == "tcp" ? "tcp://" : "inproc://") + endpointAddress(strTransport, strName);
  }
  void *bound(const std::string &strEndpoint) {
    void *pSocket = zmq_socket(m_pContext, ZMQ_DEALER);
    zmq_bind(pSocket, strEndpoint.c_str());
    return pSocket;
  }
  void *connected(const std::string &strEndpoint) {
    void *pSocket = zmq_socket(m_pContext, ZMQ_DEALER);
    zmq_connect(pSocket, strEndpoint.c_str());
    return pSocket;
  }
  void *m_pContext;
  void *m_pA, *m_pB, *m_pToA, *m_pToB;
  std::thread m_serveB, m_serveA;
};

// Messages per second from the first send to the last arrival; 0 when messages went missing.
double throughput(Pair &pair, size_t nSize, int nMessages) {
  std::string strPayload(nSize, 'p');
  auto arrivedAll = [&](uint64_t uCount) {
    return zt::test::waitFor([&] { return pair.m_uArrived >= uCount; }, std::chrono::seconds(60));
  };
  if (!pair.send(strPayload, -1) || !arrivedAll(1)) { // the connection is up
    return 0;
  }
  pair.m_uArrived = 0;
  int64_t nStartNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
  for (int i = 0; i < nMessages; ++i) {
    if (!pair.send(strPayload, i)) {
      return 0;
    }
  }
  return arrivedAll(uint64_t(nMessages)) ? nMessages / ((pair.m_nLastArrivalNs - nStartNs) / 1e9) : 0;
}

template <typename PairType> double medianThroughput(const std::string &strTransport, size_t nSize, int nMessages) {
  std::vector<double> vecRounds;
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    PairType pair(strTransport, false);
    vecRounds.push_back(throughput(pair, nSize, nMessages));
  }
  std::nth_element(vecRounds.begin(), vecRounds.begin() + kRounds / 2, vecRounds.end());
  return vecRounds[kRounds / 2];
}

template <typename PairType> double roundTripP50(const std::string &strTransport) {
  PairType pair(strTransport, true);
  zt::bench::measureRoundTrips(pair, 1, 100, 1); // brings the connections up
  std::vector<zt::bench::RoundTrips> vecRounds;
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    vecRounds.push_back(zt::bench::measureRoundTrips(pair, 1, kRoundTrips, 1000 + nRound * kRoundTrips));
    if (!vecRounds.back().bOk) {
      return 0;
    }
  }
  return zt::bench::medianOfRounds(vecRounds).dP50Us;
}

void runAll() {
  for (const std::string strTransport : {"tcp", "inproc"}) {
    for (auto [nSize, pstrLabel, nMessages] : {std::tuple<size_t, const char *, int>{64, "64B", 20000},
                                               std::tuple<size_t, const char *, int>{4096, "4KiB", 10000}}) {
      double dZtmq = medianThroughput<ZtmqPair>(strTransport, nSize, nMessages);
      double dRaw = medianThroughput<RawPair>(strTransport, nSize, nMessages);
      std::string strCase = strTransport + "_" + pstrLabel;
      print("ztmq_" + strCase + "_messages", dZtmq, "msg/s");
      print("raw_zmq_" + strCase + "_messages", dRaw, "msg/s");
      print("ztmq_" + strCase + "_vs_raw", dRaw > 0 ? dZtmq / dRaw : 0, "ratio");
    }
    double dZtmq = roundTripP50<ZtmqPair>(strTransport);
    double dRaw = roundTripP50<RawPair>(strTransport);
    print("ztmq_" + strTransport + "_64B_round_trip_p50", dZtmq, "us");
    print("raw_zmq_" + strTransport + "_64B_round_trip_p50", dRaw, "us");
    print("ztmq_" + strTransport + "_64B_round_trip_p50_over_raw", dRaw > 0 ? dZtmq / dRaw : 0, "ratio");
  }
}

// The library prints its log set-up on standard output; keep those lines out of the figures.
void startZtmqQuietly() {
  std::fflush(stdout);
  int nSaved = dup(STDOUT_FILENO);
  int nNull = open("/dev/null", O_WRONLY);
  dup2(nNull, STDOUT_FILENO);
  ZTConfigIDIsSet("bench");
  std::fflush(stdout);
  dup2(nSaved, STDOUT_FILENO);
  close(nNull);
  close(nSaved);
}

std::string configPath() {
  char szExe[4096];
  ssize_t nLength = readlink("/proc/self/exe", szExe, sizeof szExe - 1);
  std::string strExe(szExe, nLength > 0 ? size_t(nLength) : 0);
  return strExe.substr(0, strExe.rfind('/') + 1) + "ztmq.cfg";
}

} // namespace

int main(int argc, char **argv) {
  bool bQuietPass = argc > 1 && std::strcmp(argv[1], "--log-errors-only") == 0;
  std::string strConfig = configPath();
  struct stat info {};
  bool bOwnConfig = !bQuietPass && stat(strConfig.c_str(), &info) == 0;
  if (bQuietPass) {
    g_strSuffix = "_log_errors_only";
    std::printf("# ztmq log: level error (ztmq.cfg)\n");
  } else if (bOwnConfig) {
    std::printf("# ztmq log: as the existing %s sets it\n", strConfig.c_str());
  } else {
    std::printf("# ztmq log: defaults (no %s: level debug, every step logged and traced)\n", strConfig.c_str());
  }
  startZtmqQuietly();
  runAll();
  if (bQuietPass || bOwnConfig) {
    return 0;
  }
  std::ofstream(strConfig) << "level = error\n";
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    execl("/proc/self/exe", argv[0], "--log-errors-only", static_cast<char *>(nullptr));
    _exit(127);
  }
  int nStatus = 0;
  waitpid(pid, &nStatus, 0);
  std::remove(strConfig.c_str());
  return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 1;
}
