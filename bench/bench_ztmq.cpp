// Messages per second from one ztmq task to another, over tcp://127.0.0.1 and inproc, with 64-byte
// and 4 KiB payloads, side by side with raw libzmq DEALER -> DEALER sending the same two-part
// messages (200-byte header + payload) on the same transport; and the p50 round trip of a request
// and its reply. Prints "name value unit" lines.
//
// Two passes: ztmq as configured by default (log level debug: every step is logged and traced),
// then in a child process with a ztmq.cfg of "level = error" beside the program, as a deployment
// that does not trace every message would run.
#include "ztmq.h"

#include "broker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zmq.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kHeaderSize = 200;
constexpr int kRounds = 3;
constexpr int kRoundTrips = 2000;

std::string g_strSuffix; // which log settings the figures were taken with

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void print(const std::string &strName, double dValue, const char *pstrUnit) {
  std::printf("%s%s %.2f %s\n", strName.c_str(), g_strSuffix.c_str(), dValue, pstrUnit);
  std::fflush(stdout);
}

double median(std::vector<double> vecValues) {
  std::sort(vecValues.begin(), vecValues.end());
  return vecValues.empty() ? 0 : vecValues[vecValues.size() / 2];
}

// What a receiving side saw: the number of messages and the time of the last one.
struct Arrivals {
  std::atomic<uint64_t> uCount{0};
  std::atomic<int64_t> nLastNs{0};
  void reset() {
    uCount = 0;
    nLastNs = 0;
  }
  void add() {
    nLastNs = nowNs();
    ++uCount;
  }
  bool waitFor(uint64_t uExpected) {
    return zt::test::waitFor([&] { return uCount >= uExpected; }, std::chrono::seconds(60));
  }
};

// The reply a requester is waiting for.
struct Reply {
  std::mutex mutex;
  std::condition_variable cv;
  int nSn = INT_MIN; // none yet
  int64_t nArrivalNs = 0;
  void set(int nReplySn) {
    std::lock_guard<std::mutex> lock(mutex);
    nSn = nReplySn;
    nArrivalNs = nowNs();
    cv.notify_one();
  }
  int64_t waitFor(int nExpected) {
    std::unique_lock<std::mutex> lock(mutex);
    bool bGot = cv.wait_for(lock, std::chrono::seconds(5), [&] { return nSn == nExpected; });
    return bGot ? nArrivalNs : 0;
  }
};

// One way to move messages from A to B, and requests from A to B and back.
class Link {
public:
  virtual ~Link() = default;
  virtual bool send(const std::string &strPayload, int nSn) = 0;
  Arrivals m_arrivals;
  Reply m_reply;
};

// Two ztmq tasks; B counts messages, or echoes them back to A.
class ZtmqLink : public Link {
public:
  ZtmqLink(const std::string &strTransport, bool bEcho) {
    static int s_nPair = 0;
    std::string strTag = strTransport + std::to_string(++s_nPair);
    m_strA = "bench_a_" + strTag;
    m_strB = "bench_b_" + strTag;
    if (strTransport == "tcp") {
      ZTConfigSetAddr(m_strA.c_str(), ("127.0.0.1:" + std::to_string(zt::test::freeTcpPort())).c_str());
      ZTConfigSetAddr(m_strB.c_str(), ("127.0.0.1:" + std::to_string(zt::test::freeTcpPort())).c_str());
    }
    ZTCreateTaskEx(m_strA.c_str(), onReply, nullptr, this);
    ZTCreateTaskEx(m_strB.c_str(), bEcho ? onEcho : onCount, nullptr, this);
  }
  ~ZtmqLink() override {
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
  static void onCount(const char *, const char *, int, void *pUser, const ZtmqRecvInfo *) {
    static_cast<ZtmqLink *>(pUser)->m_arrivals.add();
  }
  static void onEcho(const char *pstrSource, const char *pData, int nSize, void *pUser, const ZtmqRecvInfo *pInfo) {
    auto *pLink = static_cast<ZtmqLink *>(pUser);
    ZTSendMessage(pLink->m_strB.c_str(), pstrSource, pData, nSize, pInfo->sn);
  }
  static void onReply(const char *, const char *, int, void *pUser, const ZtmqRecvInfo *pInfo) {
    static_cast<ZtmqLink *>(pUser)->m_reply.set(pInfo->sn);
  }
  std::string m_strA, m_strB;
};

// Two raw DEALER sockets in a context of their own, B bound and A connected, with default
// options; B's thread counts the messages, or echoes them back.
class RawLink : public Link {
public:
  RawLink(const std::string &strTransport, bool bEcho) : m_pContext(zmq_ctx_new()) {
    static int s_nPair = 0;
    std::string strEndpoint = strTransport == "tcp"
                                  ? "tcp://127.0.0.1:" + std::to_string(zt::test::freeTcpPort())
                                  : "inproc://raw" + std::to_string(++s_nPair);
    m_pB = zmq_socket(m_pContext, ZMQ_DEALER);
    m_pA = zmq_socket(m_pContext, ZMQ_DEALER);
    zmq_bind(m_pB, strEndpoint.c_str());
    zmq_connect(m_pA, strEndpoint.c_str());
    m_thread = std::thread([this, bEcho] { serve(bEcho); });
  }
  ~RawLink() override {
    zmq_send(m_pA, "stop", 4, 0); // the one single-part message
    m_thread.join();
    zmq_close(m_pA);
    zmq_close(m_pB);
    zmq_ctx_term(m_pContext);
  }
  bool send(const std::string &strPayload, int nSn) override {
    char arrHeader[kHeaderSize] = {};
    std::memcpy(arrHeader + 192, &nSn, sizeof nSn);
    return zmq_send(m_pA, arrHeader, kHeaderSize, ZMQ_SNDMORE) == int(kHeaderSize) &&
           zmq_send(m_pA, strPayload.data(), strPayload.size(), 0) == int(strPayload.size());
  }
  // A request and its reply, on the calling thread: the time the reply was in hand, or 0.
  int64_t roundTrip(const std::string &strPayload, int nSn) {
    if (!send(strPayload, nSn)) {
      return 0;
    }
    std::vector<std::string> vecParts = receive(m_pA);
    return vecParts.size() == 2 ? nowNs() : 0;
  }

private:
  static std::vector<std::string> receive(void *pSocket) {
    std::vector<std::string> vecParts;
    for (;;) {
      zmq_msg_t part;
      zmq_msg_init(&part);
      if (zmq_msg_recv(&part, pSocket, 0) < 0) {
        zmq_msg_close(&part);
        return {};
      }
      vecParts.emplace_back(static_cast<const char *>(zmq_msg_data(&part)), zmq_msg_size(&part));
      bool bMore = zmq_msg_more(&part) != 0;
      zmq_msg_close(&part);
      if (!bMore) {
        return vecParts;
      }
    }
  }
  void serve(bool bEcho) {
    for (;;) {
      std::vector<std::string> vecParts = receive(m_pB);
      if (vecParts.size() != 2) {
        return;
      }
      if (bEcho) {
        zmq_send(m_pB, vecParts[0].data(), vecParts[0].size(), ZMQ_SNDMORE);
        zmq_send(m_pB, vecParts[1].data(), vecParts[1].size(), 0);
      } else {
        m_arrivals.add();
      }
    }
  }
  void *m_pContext;
  void *m_pA;
  void *m_pB;
  std::thread m_thread;
};

// Messages per second from the first send to the last arrival; 0 when messages went missing.
double throughput(Link &link, size_t nSize, int nMessages) {
  std::string strPayload(nSize, 'p');
  if (!link.send(strPayload, -1) || !link.m_arrivals.waitFor(1)) { // the connection is up
    return 0;
  }
  link.m_arrivals.reset();
  int64_t nStartNs = nowNs();
  for (int i = 0; i < nMessages; ++i) {
    if (!link.send(strPayload, i)) {
      return 0;
    }
  }
  if (!link.m_arrivals.waitFor(uint64_t(nMessages))) {
    return 0;
  }
  return nMessages / ((link.m_arrivals.nLastNs - nStartNs) / 1e9);
}

void compareThroughput(const std::string &strTransport, size_t nSize, const char *pstrLabel, int nMessages) {
  std::vector<double> vecZtmq, vecRaw;
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    {
      ZtmqLink ztmq(strTransport, false);
      vecZtmq.push_back(throughput(ztmq, nSize, nMessages));
    }
    RawLink raw(strTransport, false);
    vecRaw.push_back(throughput(raw, nSize, nMessages));
  }
  double dZtmq = median(vecZtmq);
  double dRaw = median(vecRaw);
  std::string strCase = strTransport + "_" + pstrLabel;
  print("ztmq_" + strCase + "_messages", dZtmq, "msg/s");
  print("raw_zmq_" + strCase + "_messages", dRaw, "msg/s");
  print("ztmq_" + strCase + "_vs_raw", dRaw > 0 ? dZtmq / dRaw : 0, "ratio");
}

double ztmqRoundTripP50(const std::string &strTransport) {
  ZtmqLink link(strTransport, true);
  std::string strPayload(64, 'q');
  std::vector<double> vecUs;
  for (int i = -1; i < kRoundTrips; ++i) { // the first one brings the connections up
    int64_t nSentNs = nowNs();
    if (!link.send(strPayload, i)) {
      return 0;
    }
    int64_t nArrivalNs = link.m_reply.waitFor(i);
    if (nArrivalNs == 0) {
      return 0;
    }
    if (i >= 0) {
      vecUs.push_back((nArrivalNs - nSentNs) / 1e3);
    }
  }
  return median(vecUs);
}

double rawRoundTripP50(const std::string &strTransport) {
  RawLink link(strTransport, true);
  std::string strPayload(64, 'q');
  std::vector<double> vecUs;
  for (int i = -1; i < kRoundTrips; ++i) {
    int64_t nSentNs = nowNs();
    int64_t nArrivalNs = link.roundTrip(strPayload, i);
    if (nArrivalNs == 0) {
      return 0;
    }
    if (i >= 0) {
      vecUs.push_back((nArrivalNs - nSentNs) / 1e3);
    }
  }
  return median(vecUs);
}

void runAll() {
  for (const std::string strTransport : {"tcp", "inproc"}) {
    compareThroughput(strTransport, 64, "64B", 20000);
    compareThroughput(strTransport, 4096, "4KiB", 10000);
    double dZtmq = ztmqRoundTripP50(strTransport);
    double dRaw = rawRoundTripP50(strTransport);
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
  } else {
    std::printf(bOwnConfig ? "# ztmq log: as the existing %s sets it\n" : "# ztmq log: defaults (%s absent: level debug, every step logged and traced)\n",
                strConfig.c_str());
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
