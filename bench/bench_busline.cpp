// Request/response round trips between a requester and a responder through the local TLS
// broker: QoS 2 publishes carrying SN and TYPE as MQTT 5 user properties, QoS 1
// subscriptions, Nagle off. Once over two busline handles, once written directly on
// libmosquitto, in the same run; prints p50/p99 latency, round trips per second and ratios.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <mutex>
#include <string>
#include <vector>

#include "adapters.h"
#include "broker.h"
#include "busline.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kBody(64, 'b');

// The sender's IPv4 list as busline sends it along, so that both exchanges carry the same bytes.
std::string localIpList() {
  std::vector<zt::platform::Adapter> vecAdapters;
  zt::platform::listAdapters(vecAdapters);
  std::string strList;
  for (const auto &adapter : vecAdapters) {
    for (const auto &strIp : adapter.vecIpv4) {
      strList += (strList.empty() ? "" : "|") + strIp;
    }
  }
  return strList;
}
const std::string kIpList = localIpList();

// One way of exchanging requests and responses; responses are reported with their SN.
class Exchange {
public:
  virtual ~Exchange() = default;
  virtual bool start(int nPort) = 0;
  virtual bool sendRequest(uint32_t uSN) = 0;
  virtual void stop() = 0;
  std::function<void(uint32_t)> m_onResponse = [](uint32_t) {};

protected:
  explicit Exchange(const std::string &strName)
      : m_strRequestTopic("bench/" + strName + "/request"),
        m_strResponseTopic("bench/" + strName + "/response") {}
  const std::string m_strRequestTopic;
  const std::string m_strResponseTopic;
};

class BuslineExchange : public Exchange {
public:
  BuslineExchange() : Exchange("busline") {}
  bool start(int nPort) override {
    m_pResponder = busline_init("127.0.0.1", nPort, nullptr, 1, 5, 1, onConnect, onRequest, this);
    m_pRequester = busline_init("127.0.0.1", nPort, nullptr, 1, 5, 1, onConnect, onResponse, this);
    if (!zt::test::waitFor([&] { return m_nConnected.load() >= 2; })) {
      return false;
    }
    return busline_subscribe(m_pResponder, m_strRequestTopic.c_str(), 1) == 0 &&
           busline_subscribe(m_pRequester, m_strResponseTopic.c_str(), 1) == 0;
  }
  bool sendRequest(uint32_t uSN) override {
    return busline_publish(m_pRequester, m_strRequestTopic.c_str(), kBody.data(), int(kBody.size()), 2, 0,
                           uSN, 2, nullptr) == 0;
  }
  void stop() override {
    busline_exit(m_pRequester);
    busline_exit(m_pResponder);
  }

private:
  static void onConnect(int nStatus, void *pUserData) {
    if (nStatus == 0) {
      ++static_cast<BuslineExchange *>(pUserData)->m_nConnected;
    }
  }
  static void onRequest(const char *, const void *pMessage, int nSize, int, int, uint32_t uSN, int32_t nType,
                        const char *, void *pUserData) {
    auto *pSelf = static_cast<BuslineExchange *>(pUserData);
    busline_publish(pSelf->m_pResponder, pSelf->m_strResponseTopic.c_str(), pMessage, nSize, 2, 0, uSN, nType,
                    nullptr);
  }
  static void onResponse(const char *, const void *, int, int, int, uint32_t uSN, int32_t, const char *,
                         void *pUserData) {
    static_cast<BuslineExchange *>(pUserData)->m_onResponse(uSN);
  }

  BuslineHandle *m_pRequester = nullptr;
  BuslineHandle *m_pResponder = nullptr;
  std::atomic<int> m_nConnected{0};
};

// The same exchange written directly on libmosquitto.
class RawExchange : public Exchange {
public:
  RawExchange() : Exchange("raw") {}
  bool start(int nPort) override {
    m_pResponder = client(nPort, onRequest);
    m_pRequester = client(nPort, onResponse);
    if (m_pResponder == nullptr || m_pRequester == nullptr ||
        !zt::test::waitFor([&] { return m_nConnected.load() >= 2; })) {
      return false;
    }
    return mosquitto_subscribe_v5(m_pResponder, nullptr, m_strRequestTopic.c_str(), 1, MQTT_SUB_OPT_NO_LOCAL,
                                  nullptr) == 0 &&
           mosquitto_subscribe_v5(m_pRequester, nullptr, m_strResponseTopic.c_str(), 1, MQTT_SUB_OPT_NO_LOCAL,
                                  nullptr) == 0;
  }
  bool sendRequest(uint32_t uSN) override {
    return publish(m_pRequester, m_strRequestTopic.c_str(), kBody.data(), int(kBody.size()), uSN);
  }
  void stop() override {
    for (mosquitto *pMosq : {m_pRequester, m_pResponder}) {
      mosquitto_disconnect(pMosq);
      mosquitto_loop_stop(pMosq, false);
      mosquitto_destroy(pMosq);
    }
  }

private:
  mosquitto *client(int nPort, void (*onMessage)(mosquitto *, void *, const mosquitto_message *,
                                                 const mosquitto_property *)) {
    mosquitto *pMosq = mosquitto_new(nullptr, true, this);
    if (pMosq == nullptr) {
      return nullptr;
    }
    // mosquitto_loop_start below marks the client as threaded itself.
    mosquitto_int_option(pMosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_int_option(pMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_tls_set(pMosq, zt::test::Broker::caFile().c_str(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_tls_insecure_set(pMosq, true);
    mosquitto_username_pw_set(pMosq, "root", "rbqe705316!$&^");
    mosquitto_connect_v5_callback_set(pMosq, onConnect);
    mosquitto_message_v5_callback_set(pMosq, onMessage);
    if (mosquitto_connect_bind_v5(pMosq, "127.0.0.1", nPort, 60, nullptr, nullptr) != 0 ||
        mosquitto_loop_start(pMosq) != 0) {
      mosquitto_destroy(pMosq);
      return nullptr;
    }
    return pMosq;
  }
  static bool publish(mosquitto *pMosq, const char *pstrTopic, const void *pBody, int nSize, uint32_t uSN) {
    mosquitto_property *pProps = nullptr;
    mosquitto_property_add_string_pair(&pProps, MQTT_PROP_USER_PROPERTY, "SN", std::to_string(uSN).c_str());
    mosquitto_property_add_string_pair(&pProps, MQTT_PROP_USER_PROPERTY, "TYPE", "2");
    if (!kIpList.empty()) {
      mosquitto_property_add_string_pair(&pProps, MQTT_PROP_USER_PROPERTY, "SOURCEIPLIST", kIpList.c_str());
    }
    int nRet = mosquitto_publish_v5(pMosq, nullptr, pstrTopic, nSize, pBody, 2, false, pProps);
    mosquitto_property_free_all(&pProps);
    return nRet == 0;
  }
  static uint32_t snOf(const mosquitto_property *pProps) {
    char *pstrName = nullptr;
    char *pstrValue = nullptr;
    uint32_t uSN = 0;
    const mosquitto_property *pProp =
        mosquitto_property_read_string_pair(pProps, MQTT_PROP_USER_PROPERTY, &pstrName, &pstrValue, false);
    if (pProp != nullptr) {
      uSN = uint32_t(std::strtoull(pstrValue, nullptr, 10));
    }
    std::free(pstrName);
    std::free(pstrValue);
    return uSN;
  }
  static void onConnect(mosquitto *, void *pObj, int nRc, int, const mosquitto_property *) {
    if (nRc == 0) {
      ++static_cast<RawExchange *>(pObj)->m_nConnected;
    }
  }
  static void onRequest(mosquitto *pMosq, void *pObj, const mosquitto_message *pMessage,
                        const mosquitto_property *pProps) {
    publish(pMosq, static_cast<RawExchange *>(pObj)->m_strResponseTopic.c_str(), pMessage->payload,
            pMessage->payloadlen, snOf(pProps));
  }
  static void onResponse(mosquitto *, void *pObj, const mosquitto_message *,
                         const mosquitto_property *pProps) {
    static_cast<RawExchange *>(pObj)->m_onResponse(snOf(pProps));
  }

  mosquitto *m_pRequester = nullptr;
  mosquitto *m_pResponder = nullptr;
  std::atomic<int> m_nConnected{0};
};

struct Result {
  double dP50Us = 0;
  double dP99Us = 0;
  double dRoundTripsPerSecond = 0;
  bool bOk = false;
};

// nTotal round trips with nInFlight requests outstanding; SNs run from 1 to nTotal.
Result measure(Exchange &exchange, int nInFlight, int nTotal) {
  std::mutex mutex;
  std::condition_variable done;
  std::vector<Clock::time_point> vecSent(size_t(nTotal) + 1);
  std::vector<double> vecLatencyUs;
  vecLatencyUs.reserve(size_t(nTotal));
  int nNext = 1;
  int nCompleted = 0;
  auto sendNext = [&](std::unique_lock<std::mutex> &lock) {
    if (nNext > nTotal) {
      return;
    }
    uint32_t uSN = uint32_t(nNext++);
    vecSent[uSN] = Clock::now();
    lock.unlock();
    exchange.sendRequest(uSN);
    lock.lock();
  };
  exchange.m_onResponse = [&](uint32_t uSN) {
    auto now = Clock::now();
    std::unique_lock<std::mutex> lock(mutex);
    if (uSN == 0 || uSN >= uint32_t(nNext)) {
      return;
    }
    vecLatencyUs.push_back(std::chrono::duration<double, std::micro>(now - vecSent[uSN]).count());
    ++nCompleted;
    sendNext(lock);
    done.notify_one();
  };
  auto start = Clock::now();
  {
    std::unique_lock<std::mutex> lock(mutex);
    for (int i = 0; i < nInFlight; ++i) {
      sendNext(lock);
    }
  }
  std::unique_lock<std::mutex> lock(mutex);
  Result result;
  result.bOk = done.wait_for(lock, std::chrono::seconds(60), [&] { return nCompleted >= nTotal; });
  double dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::sort(vecLatencyUs.begin(), vecLatencyUs.end());
  if (!vecLatencyUs.empty()) {
    result.dP50Us = vecLatencyUs[vecLatencyUs.size() / 2];
    result.dP99Us = vecLatencyUs[std::min(vecLatencyUs.size() - 1, vecLatencyUs.size() * 99 / 100)];
  }
  result.dRoundTripsPerSecond = nCompleted / dSeconds;
  exchange.m_onResponse = [](uint32_t) {};
  return result;
}

// Median of one figure over the rounds.
double median(std::vector<double> vec) {
  std::sort(vec.begin(), vec.end());
  return vec[vec.size() / 2];
}

Result medianOf(const std::vector<Result> &vecRounds) {
  std::vector<double> vecP50, vecP99, vecRate;
  for (const Result &result : vecRounds) {
    vecP50.push_back(result.dP50Us);
    vecP99.push_back(result.dP99Us);
    vecRate.push_back(result.dRoundTripsPerSecond);
  }
  return Result{median(vecP50), median(vecP99), median(vecRate), true};
}

void print(const char *pstrName, int nInFlight, const Result &result) {
  std::printf("%s_rtt_p50_inflight%d %.1f us\n", pstrName, nInFlight, result.dP50Us);
  std::printf("%s_rtt_p99_inflight%d %.1f us\n", pstrName, nInFlight, result.dP99Us);
  std::printf("%s_roundtrips_inflight%d %.0f per_s\n", pstrName, nInFlight, result.dRoundTripsPerSecond);
}

void printRatios(const char *pstrName, int nInFlight, const Result &busline, const Result &raw) {
  std::printf("ratio_%s_rtt_p50_inflight%d %.2f busline/raw\n", pstrName, nInFlight,
              busline.dP50Us / raw.dP50Us);
  std::printf("ratio_%s_rtt_p99_inflight%d %.2f busline/raw\n", pstrName, nInFlight,
              busline.dP99Us / raw.dP99Us);
  std::printf("ratio_%s_roundtrips_inflight%d %.2f raw/busline\n", pstrName, nInFlight,
              raw.dRoundTripsPerSecond / busline.dRoundTripsPerSecond);
}

} // namespace

int main() {
  zt::test::Broker broker;
  if (!broker.start()) {
    std::fprintf(stderr, "broker did not start\n");
    return 1;
  }
  RawExchange rawExchange;
  BuslineExchange buslineExchange;
  if (!rawExchange.start(broker.port()) || !buslineExchange.start(broker.port())) {
    std::fprintf(stderr, "could not connect\n");
    return 1;
  }
  // Variants: raw libmosquitto; busline as shipped (every step logged at level 7); busline
  // logging errors only. They take turns, round after round, so that load from elsewhere on
  // the machine falls on all of them; each figure is the median over the rounds.
  constexpr int kRounds = 5;
  const int nInFlight[2] = {1, 16};
  const int nTotal[2] = {1500, 8000};
  std::vector<Result> vecRaw[2], vecBusline[2], vecQuiet[2];
  measure(rawExchange, 1, 200); // warm-up
  measure(buslineExchange, 1, 200);
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    for (int i = 0; i < 2; ++i) {
      vecRaw[i].push_back(measure(rawExchange, nInFlight[i], nTotal[i]));
      nm_set_log_type(1, 7);
      vecBusline[i].push_back(measure(buslineExchange, nInFlight[i], nTotal[i]));
      nm_set_log_type(1, 3);
      vecQuiet[i].push_back(measure(buslineExchange, nInFlight[i], nTotal[i]));
      for (const auto *pVec : {&vecRaw[i], &vecBusline[i], &vecQuiet[i]}) {
        if (!pVec->back().bOk) {
          std::fprintf(stderr, "a run did not complete\n");
          return 1;
        }
      }
    }
  }
  rawExchange.stop();
  buslineExchange.stop();
  for (int i = 0; i < 2; ++i) {
    Result raw = medianOf(vecRaw[i]);
    Result busline = medianOf(vecBusline[i]);
    Result quiet = medianOf(vecQuiet[i]);
    print("raw_mosquitto", nInFlight[i], raw);
    print("busline", nInFlight[i], busline);
    print("busline_log3", nInFlight[i], quiet);
    printRatios("busline", nInFlight[i], busline, raw);
    printRatios("busline_log3", nInFlight[i], quiet, raw);
  }
  return 0;
}
