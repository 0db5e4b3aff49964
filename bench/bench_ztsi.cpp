// The device access layer end to end through the local TLS broker, beside raw libmosquitto
// exchanges of the same shape in the same run (QoS 2 publishes with the user properties busline
// sends: SN, TYPE, RESPONSETOPIC on requests and SOURCEIPLIST; QoS 1 subscriptions, Nagle off on
// every client):
// - GetParam round trips application (ztsi) -> driver (ztdm) -> application: p50/p99 latency and
//   requests per second with 1 and with 16 requests in flight (medians of three rounds);
// - sporadic GetParam requests, one at a time after a random pause of 0 to 100 ms: p50/p99 latency
//   over the samples of all rounds;
// - reports ztdm_ReportStatus -> status callback: reports per second and lost reports of 20,000.
#include "broker.h"
#include "round_trips.h"
#include "source_ip_list.h"
#include "ztdm.h"
#include "ztsi.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using zt::bench::measureRoundTrips;
using zt::bench::measureSporadic;
using zt::bench::percentilesOf;
using zt::bench::medianOfRounds;
using zt::bench::RoundTrips;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kVdt = 16;
constexpr char kDevId[] = "D1";
constexpr char kRequestTopic[] = "ZTDM/DOWN/DEV/0/16/D1/GetParam";
constexpr char kResponseTopic[] = "ZTDM/UP/DEV/0/16/D1/GetParam";
constexpr char kReportTopic[] = "ZTDM/UP/DEV/0/16/D1/ReportStatus";
constexpr int kReports = 20000;
const std::string kReportBody(64, 'r');
const std::string kIpList = zt::bench::sourceIpList();

// The driver's output, the same bytes in both exchanges.
std::string paramText(int nSn) {
  return "{\"param\":\"D1\",\"sn\":" + std::to_string(nSn) + "}";
}

// ---- raw libmosquitto clients ----

// One client with its own network thread; each message's properties go to m_onMessage.
class RawClient {
public:
  ~RawClient() { stop(); }

  bool start(int nPort, const char *pstrFilter) {
    m_pMosq = mosquitto_new(nullptr, true, this);
    if (m_pMosq == nullptr) {
      return false;
    }
    mosquitto_int_option(m_pMosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_int_option(m_pMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_tls_set(m_pMosq, zt::test::Broker::caFile().c_str(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_tls_insecure_set(m_pMosq, true);
    mosquitto_username_pw_set(m_pMosq, "root", "rbqe705316!$&^");
    mosquitto_connect_v5_callback_set(m_pMosq, &RawClient::onConnect);
    mosquitto_message_v5_callback_set(m_pMosq, &RawClient::onMessage);
    if (mosquitto_connect_bind_v5(m_pMosq, "127.0.0.1", nPort, 60, nullptr, nullptr) != 0 ||
        mosquitto_loop_start(m_pMosq) != 0 || !zt::test::waitFor([&] { return m_bConnected.load(); })) {
      return false;
    }
    return pstrFilter == nullptr ||
           mosquitto_subscribe_v5(m_pMosq, nullptr, pstrFilter, 1, MQTT_SUB_OPT_NO_LOCAL, nullptr) == 0;
  }
  void stop() {
    if (m_pMosq != nullptr) {
      mosquitto_disconnect(m_pMosq);
      mosquitto_loop_stop(m_pMosq, false);
      mosquitto_destroy(m_pMosq);
      m_pMosq = nullptr;
    }
  }
  mosquitto *handle() const { return m_pMosq; }

  std::function<void(const mosquitto_property *)> m_onMessage = [](const mosquitto_property *) {};

private:
  static void onConnect(mosquitto *, void *pObj, int nRc, int, const mosquitto_property *) {
    if (nRc == 0) {
      static_cast<RawClient *>(pObj)->m_bConnected = true;
    }
  }
  static void onMessage(mosquitto *, void *pObj, const mosquitto_message *,
                        const mosquitto_property *pProps) {
    static_cast<RawClient *>(pObj)->m_onMessage(pProps);
  }

  mosquitto *m_pMosq = nullptr;
  std::atomic<bool> m_bConnected{false};
};

// QoS 2 with the properties the SDKs carry: SN, TYPE, on requests RESPONSETOPIC, and SOURCEIPLIST.
bool rawPublish(mosquitto *pMosq, const char *pstrTopic, const void *pBody, int nSize, int nSn, int nType,
                bool bRequest) {
  mosquitto_property *pProps = nullptr;
  mosquitto_property_add_string_pair(&pProps, MQTT_PROP_USER_PROPERTY, "SN", std::to_string(nSn).c_str());
  mosquitto_property_add_string_pair(&pProps, MQTT_PROP_USER_PROPERTY, "TYPE", std::to_string(nType).c_str());
  if (bRequest) {
    mosquitto_property_add_string_pair(&pProps, MQTT_PROP_USER_PROPERTY, "RESPONSETOPIC", "0");
  }
  if (!kIpList.empty()) {
    mosquitto_property_add_string_pair(&pProps, MQTT_PROP_USER_PROPERTY, "SOURCEIPLIST", kIpList.c_str());
  }
  int nRet = mosquitto_publish_v5(pMosq, nullptr, pstrTopic, nSize, pBody, 2, false, pProps);
  mosquitto_property_free_all(&pProps);
  return nRet == 0;
}

int rawSnOf(const mosquitto_property *pProps) {
  int nSn = 0;
  bool bSkipFirst = false;
  for (const mosquitto_property *pProp = pProps; pProp != nullptr; bSkipFirst = true) {
    char *pstrName = nullptr;
    char *pstrValue = nullptr;
    pProp = mosquitto_property_read_string_pair(pProp, MQTT_PROP_USER_PROPERTY, &pstrName, &pstrValue,
                                                bSkipFirst);
    if (pProp != nullptr && std::strcmp(pstrName, "SN") == 0) {
      nSn = std::atoi(pstrValue);
    }
    std::free(pstrName);
    std::free(pstrValue);
  }
  return nSn;
}

// ---- request/response exchanges ----

int benchGetConfig(const DeviceInfo *, char *pOut, int *pnOutLen, int nSn) {
  std::string strText = paramText(nSn);
  *pnOutLen = std::min(*pnOutLen, static_cast<int>(strText.size()));
  std::memcpy(pOut, strText.data(), *pnOutLen);
  return 0;
}

// A driver on ztdm answering GetParam for D1, and an application on ztsi asking.
class ZtsiExchange : public zt::bench::Exchange {
public:
  bool start(int nPort) override {
    std::string strAddress = "127.0.0.1:" + std::to_string(nPort);
    m_pDriver = ztdm_Create(strAddress.c_str());
    m_pApp = ztsi_Create(strAddress.c_str(), &ZtsiExchange::onFound, this);
    if (m_pDriver == nullptr || m_pApp == nullptr) {
      return false;
    }
    ztsi_SetStatusCallback(m_pApp, &ZtsiExchange::onStatus);
    DriverCallbacks callbacks{nullptr, &benchGetConfig, nullptr, nullptr};
    ztdm_RegisterDriver(m_pDriver, kVdt, &callbacks);
    DeviceInfo info;
    std::memset(&info, 0, sizeof(info));
    std::strcpy(info.id, kDevId);
    std::strcpy(info.pid, "0");
    info.vdt = kVdt;
    ztdm_RegisterDevice(m_pDriver, &info);
    return zt::test::waitFor(
        [&] {
          ztsi_FindDevices(m_pApp, "X", 0, nullptr);
          return zt::test::waitFor([&] { return m_bFound.load(); }, 300ms);
        },
        10s);
  }
  bool sendRequest(uint32_t uSN) override {
    return ztsi_GetParam(m_pApp, kDevId, static_cast<int>(uSN), &ZtsiExchange::onAnswer) == 0;
  }
  void stop() override {
    ztsi_Destory(m_pApp);
    ztdm_Destroy(m_pDriver);
  }

  ZtdmHandle *driver() const { return m_pDriver; }
  ZtsiHandle *app() const { return m_pApp; }

  std::function<void()> m_onReport = [] {};

private:
  static void onFound(const char *, int, const DeviceInfo *, void *pUserData) {
    static_cast<ZtsiExchange *>(pUserData)->m_bFound = true;
  }
  static void onAnswer(const char *, int nSn, const char *, int, void *pUserData) {
    static_cast<ZtsiExchange *>(pUserData)->m_onResponse(static_cast<uint32_t>(nSn));
  }
  static void onStatus(const char *, int, const char *, int, void *pUserData) {
    static_cast<ZtsiExchange *>(pUserData)->m_onReport();
  }

  ZtdmHandle *m_pDriver = nullptr;
  ZtsiHandle *m_pApp = nullptr;
  std::atomic<bool> m_bFound{false};
};

// The same topics, properties and bodies written directly on libmosquitto.
class RawExchange : public zt::bench::Exchange {
public:
  bool start(int nPort) override {
    m_responder.m_onMessage = [this](const mosquitto_property *pProps) {
      int nSn = rawSnOf(pProps);
      std::string strBody = "{\"cmd\":3,\"code\":0,\"desc\":\"" + paramText(nSn) + "\"}";
      rawPublish(m_responder.handle(), kResponseTopic, strBody.data(), static_cast<int>(strBody.size()), nSn,
                 3, false);
    };
    m_requester.m_onMessage = [this](const mosquitto_property *pProps) {
      m_onResponse(static_cast<uint32_t>(rawSnOf(pProps)));
    };
    return m_responder.start(nPort, "ZTDM/DOWN/DEV/0/#") && m_requester.start(nPort, "ZTDM/UP/DEV/0/#");
  }
  bool sendRequest(uint32_t uSN) override {
    return rawPublish(m_requester.handle(), kRequestTopic, "{}", 2, static_cast<int>(uSN), 3, true);
  }
  void stop() override {
    m_requester.stop();
    m_responder.stop();
  }

private:
  RawClient m_requester;
  RawClient m_responder;
};

// Rounds in which raw and ztsi take turns, so that a change of machine load hits both.
constexpr int kRounds = 3;
constexpr int kSporadicPerRound = 70;

// Back-to-back round trips (1 and 16 in flight), then sporadic requests.
struct ExchangeResults {
  std::vector<RoundTrips> vecBackToBack[2];
  std::vector<double> vecSporadicUs;
};

bool runRoundTrips(zt::bench::Exchange &exchange, int nPort, const char *pstrName, std::mt19937 &random,
                   ExchangeResults &results) {
  if (!exchange.start(nPort)) {
    std::fprintf(stderr, "%s: could not start\n", pstrName);
    return false;
  }
  measureRoundTrips(exchange, 1, 100, 1); // warm-up
  results.vecBackToBack[0].push_back(measureRoundTrips(exchange, 1, 1000, 1000));
  results.vecBackToBack[1].push_back(measureRoundTrips(exchange, 16, 8000, 10000));
  bool bSporadicOk = measureSporadic(exchange, kSporadicPerRound, 20000, random, results.vecSporadicUs);
  exchange.stop();
  if (!results.vecBackToBack[0].back().bOk || !results.vecBackToBack[1].back().bOk || !bSporadicOk) {
    std::fprintf(stderr, "%s: round trips did not complete\n", pstrName);
  }
  return true;
}

// ---- report path ----

struct Reports {
  double dPerSecond = 0;
  int nLost = 0;
  int nNotPublished = 0;
};

// Publishes kReports through fnPublish while fnReceived counts arrivals; the rate runs from the
// first publish to the last arrival, and whatever has not arrived 5 s after the last progress is lost.
Reports measureReports(const std::function<bool(int)> &fnPublish, const std::function<int()> &fnReceived,
                       const std::function<Clock::time_point()> &fnLastArrival) {
  Reports result;
  auto start = Clock::now();
  for (int i = 1; i <= kReports; ++i) {
    if (!fnPublish(i)) {
      ++result.nNotPublished;
    }
  }
  int nSeen = -1;
  while (fnReceived() < kReports && fnReceived() != nSeen) {
    nSeen = fnReceived();
    zt::test::waitFor([&] { return fnReceived() >= kReports; }, 5000ms);
  }
  int nReceived = fnReceived();
  result.nLost = kReports - nReceived;
  result.dPerSecond = nReceived / std::chrono::duration<double>(fnLastArrival() - start).count();
  return result;
}

// Counts arrivals and remembers when the last one came.
struct ArrivalCounter {
  std::atomic<int> nCount{0};
  std::atomic<int64_t> nLastNs{0};
  void arrived() {
    nLastNs = Clock::now().time_since_epoch().count();
    ++nCount;
  }
  Clock::time_point last() const { return Clock::time_point(Clock::duration(nLastNs.load())); }
};

Reports ztsiReports(int nPort) {
  ArrivalCounter counter;
  ZtsiExchange exchange;
  exchange.m_onReport = [&] { counter.arrived(); };
  if (!exchange.start(nPort)) {
    std::fprintf(stderr, "ztsi reports: could not start\n");
    return Reports{0, kReports, 0};
  }
  Reports result = measureReports(
      [&](int nSn) {
        return ztdm_ReportStatus(exchange.driver(), kDevId, nSn, kReportBody.data(),
                                 static_cast<int>(kReportBody.size())) == 0;
      },
      [&] { return counter.nCount.load(); }, [&] { return counter.last(); });
  exchange.stop();
  return result;
}

Reports rawReports(int nPort) {
  ArrivalCounter counter;
  RawClient subscriber;
  RawClient publisher;
  subscriber.m_onMessage = [&](const mosquitto_property *) { counter.arrived(); };
  if (!subscriber.start(nPort, "ZTDM/UP/DEV/0/#") || !publisher.start(nPort, nullptr)) {
    std::fprintf(stderr, "raw reports: could not start\n");
    return Reports{0, kReports, 0};
  }
  std::this_thread::sleep_for(200ms); // until the subscription is in place
  return measureReports(
      [&](int nSn) {
        return rawPublish(publisher.handle(), kReportTopic, kReportBody.data(),
                          static_cast<int>(kReportBody.size()), nSn, 6, false);
      },
      [&] { return counter.nCount.load(); }, [&] { return counter.last(); });
}

} // namespace

int main() {
  zt::test::Broker broker;
  if (!broker.start()) {
    std::fprintf(stderr, "broker did not start\n");
    return 1;
  }
  ExchangeResults ztsiResults;
  ExchangeResults rawResults;
  std::mt19937 random(13);
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    RawExchange rawExchange;
    ZtsiExchange ztsiExchange;
    if (!runRoundTrips(rawExchange, broker.port(), "raw", random, rawResults) ||
        !runRoundTrips(ztsiExchange, broker.port(), "ztsi", random, ztsiResults)) {
      return 1;
    }
  }
  const int nInFlight[2] = {1, 16};
  for (int i = 0; i < 2; ++i) {
    RoundTrips ztsi = medianOfRounds(ztsiResults.vecBackToBack[i]);
    RoundTrips raw = medianOfRounds(rawResults.vecBackToBack[i]);
    std::printf("ztsi_getparam_p50_inflight%d %.1f us\n", nInFlight[i], ztsi.dP50Us);
    std::printf("ztsi_getparam_p99_inflight%d %.1f us\n", nInFlight[i], ztsi.dP99Us);
    std::printf("ztsi_getparam_requests_inflight%d %.0f per_s\n", nInFlight[i], ztsi.dPerSecond);
    std::printf("raw_getparam_p50_inflight%d %.1f us\n", nInFlight[i], raw.dP50Us);
    std::printf("raw_getparam_p99_inflight%d %.1f us\n", nInFlight[i], raw.dP99Us);
    std::printf("raw_getparam_requests_inflight%d %.0f per_s\n", nInFlight[i], raw.dPerSecond);
    std::printf("ratio_getparam_p50_inflight%d %.2f ztsi/raw\n", nInFlight[i], ztsi.dP50Us / raw.dP50Us);
    std::printf("ratio_getparam_p99_inflight%d %.2f ztsi/raw\n", nInFlight[i], ztsi.dP99Us / raw.dP99Us);
    std::printf("ratio_getparam_requests_inflight%d %.2f ztsi/raw\n", nInFlight[i],
                ztsi.dPerSecond / raw.dPerSecond);
  }
  RoundTrips ztsiSporadic;
  RoundTrips rawSporadic;
  percentilesOf(ztsiResults.vecSporadicUs, ztsiSporadic);
  percentilesOf(rawResults.vecSporadicUs, rawSporadic);
  std::printf("ztsi_getparam_sporadic_p50 %.1f us\n", ztsiSporadic.dP50Us);
  std::printf("ztsi_getparam_sporadic_p99 %.1f us\n", ztsiSporadic.dP99Us);
  std::printf("ztsi_getparam_sporadic_samples %zu requests\n", ztsiResults.vecSporadicUs.size());
  std::printf("raw_getparam_sporadic_p50 %.1f us\n", rawSporadic.dP50Us);
  std::printf("raw_getparam_sporadic_p99 %.1f us\n", rawSporadic.dP99Us);
  std::printf("raw_getparam_sporadic_samples %zu requests\n", rawResults.vecSporadicUs.size());
  std::printf("ratio_getparam_sporadic_p50 %.2f ztsi/raw\n", ztsiSporadic.dP50Us / rawSporadic.dP50Us);
  std::printf("ratio_getparam_sporadic_p99 %.2f ztsi/raw\n", ztsiSporadic.dP99Us / rawSporadic.dP99Us);
  Reports rawResult = rawReports(broker.port());
  Reports ztsiResult = ztsiReports(broker.port());
  std::printf("ztsi_reports %.0f per_s\n", ztsiResult.dPerSecond);
  std::printf("ztsi_reports_lost %d of_%d\n", ztsiResult.nLost, kReports);
  std::printf("ztsi_reports_not_published %d of_%d\n", ztsiResult.nNotPublished, kReports);
  std::printf("raw_reports %.0f per_s\n", rawResult.dPerSecond);
  std::printf("raw_reports_lost %d of_%d\n", rawResult.nLost, kReports);
  std::printf("ratio_reports %.2f ztsi/raw\n", ztsiResult.dPerSecond / rawResult.dPerSecond);
  return 0;
}
