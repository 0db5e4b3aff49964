// Request/response round trips between a requester and a responder through the local TLS
// broker: QoS 2 publishes carrying SN and TYPE as MQTT 5 user properties, QoS 1
// subscriptions, Nagle off. Over two busline handles, over two topicbus TLS clients (the same
// session class in topicbus's style), and written directly on libmosquitto, in the same run;
// prints p50/p99 latency, round trips per second and ratios, back to back and for sporadic
// requests (one at a time after a random pause of 0 to 100 ms).
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
#include <random>
#include <string>
#include <vector>

#include "broker.h"
#include "busline.h"
#include "round_trips.h"
#include "source_ip_list.h"
#include "topicbus.h"

namespace {

using zt::bench::measureRoundTrips;
using zt::bench::measureSporadic;
using zt::bench::percentilesOf;
using zt::bench::medianOfRounds;
using zt::bench::RoundTrips;

const std::string kBody(64, 'b');

const std::string kIpList = zt::bench::sourceIpList();

// An exchange over its own pair of request and response topics.
class TopicPairExchange : public zt::bench::Exchange {
protected:
  explicit TopicPairExchange(const std::string &strName)
      : m_strRequestTopic("bench/" + strName + "/request"),
        m_strResponseTopic("bench/" + strName + "/response") {}
  const std::string m_strRequestTopic;
  const std::string m_strResponseTopic;
};

class BuslineExchange : public TopicPairExchange {
public:
  BuslineExchange() : TopicPairExchange("busline") {}
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

class TopicbusExchange : public TopicPairExchange {
public:
  TopicbusExchange() : TopicPairExchange("topicbus") {}
  bool start(int nPort) override {
    m_pResponder = ZTM2045_CreateTLS("127.0.0.1", nPort, nullptr, 1, nullptr, nullptr, nullptr, nullptr, 0,
                                     onConnect, onRequest, this);
    m_pRequester = ZTM2045_CreateTLS("127.0.0.1", nPort, nullptr, 1, nullptr, nullptr, nullptr, nullptr, 0,
                                     onConnect, onResponse, this);
    if (!zt::test::waitFor([&] { return m_nConnected.load() >= 2; })) {
      return false;
    }
    return ZTM2045_Subscribe(m_pResponder, m_strRequestTopic.c_str(), 1) == 0 &&
           ZTM2045_Subscribe(m_pRequester, m_strResponseTopic.c_str(), 1) == 0;
  }
  bool sendRequest(uint32_t uSN) override {
    return ZTM2045_Publish(m_pRequester, m_strRequestTopic.c_str(), kBody.data(), int(kBody.size()), 2, 0, uSN, 2,
                           nullptr) == 0;
  }
  void stop() override {
    ZTM2045_Exit(m_pRequester);
    ZTM2045_Exit(m_pResponder);
  }

private:
  static void onConnect(int nStatus, void *pUserData) {
    if (nStatus == 0) {
      ++static_cast<TopicbusExchange *>(pUserData)->m_nConnected;
    }
  }
  static void onRequest(const char *, const void *pMessage, int nSize, int, int, uint32_t uSN, int32_t nType,
                        const char *, void *pUserData) {
    auto *pSelf = static_cast<TopicbusExchange *>(pUserData);
    ZTM2045_Publish(pSelf->m_pResponder, pSelf->m_strResponseTopic.c_str(), pMessage, nSize, 2, 0, uSN, nType,
                    nullptr);
  }
  static void onResponse(const char *, const void *, int, int, int, uint32_t uSN, int32_t, const char *,
                         void *pUserData) {
    static_cast<TopicbusExchange *>(pUserData)->m_onResponse(uSN);
  }

  TopicbusHandle *m_pRequester = nullptr;
  TopicbusHandle *m_pResponder = nullptr;
  std::atomic<int> m_nConnected{0};
};

// The same exchange written directly on libmosquitto.
class RawExchange : public TopicPairExchange {
public:
  RawExchange() : TopicPairExchange("raw") {}
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

void print(const char *pstrName, int nInFlight, const RoundTrips &result) {
  std::printf("%s_rtt_p50_inflight%d %.1f us\n", pstrName, nInFlight, result.dP50Us);
  std::printf("%s_rtt_p99_inflight%d %.1f us\n", pstrName, nInFlight, result.dP99Us);
  std::printf("%s_roundtrips_inflight%d %.0f per_s\n", pstrName, nInFlight, result.dPerSecond);
}

// pstrName: the library measured (busline, busline_log3, topicbus).
void printRatios(const char *pstrName, int nInFlight, const RoundTrips &library, const RoundTrips &raw) {
  std::printf("ratio_%s_rtt_p50_inflight%d %.2f %s/raw\n", pstrName, nInFlight, library.dP50Us / raw.dP50Us,
              pstrName);
  std::printf("ratio_%s_rtt_p99_inflight%d %.2f %s/raw\n", pstrName, nInFlight, library.dP99Us / raw.dP99Us,
              pstrName);
  std::printf("ratio_%s_roundtrips_inflight%d %.2f raw/%s\n", pstrName, nInFlight,
              raw.dPerSecond / library.dPerSecond, pstrName);
}

// p50/p99 over the sporadic samples of all rounds.
RoundTrips sporadicFigures(const char *pstrName, std::vector<double> &vecLatencyUs) {
  RoundTrips result;
  percentilesOf(vecLatencyUs, result);
  std::printf("%s_sporadic_p50 %.1f us\n", pstrName, result.dP50Us);
  std::printf("%s_sporadic_p99 %.1f us\n", pstrName, result.dP99Us);
  std::printf("%s_sporadic_samples %zu requests\n", pstrName, vecLatencyUs.size());
  return result;
}

void printSporadicRatios(const char *pstrName, const RoundTrips &library, const RoundTrips &raw) {
  std::printf("ratio_%s_sporadic_p50 %.2f %s/raw\n", pstrName, library.dP50Us / raw.dP50Us, pstrName);
  std::printf("ratio_%s_sporadic_p99 %.2f %s/raw\n", pstrName, library.dP99Us / raw.dP99Us, pstrName);
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
  TopicbusExchange topicbusExchange;
  if (!rawExchange.start(broker.port()) || !buslineExchange.start(broker.port()) ||
      !topicbusExchange.start(broker.port())) {
    std::fprintf(stderr, "could not connect\n");
    return 1;
  }
  // Variants: raw libmosquitto; busline as shipped (every step logged at level 7); busline
  // logging errors only; topicbus (always logging at level 7). They take turns, round after round, so that load from elsewhere on
  // the machine falls on all of them; each figure is the median over the rounds.
  constexpr int kRounds = 5;
  const int nInFlight[2] = {1, 16};
  const int nTotal[2] = {1500, 8000};
  std::vector<RoundTrips> vecRaw[2], vecBusline[2], vecQuiet[2], vecTopicbus[2];
  measureRoundTrips(rawExchange, 1, 200, 1); // warm-up
  measureRoundTrips(buslineExchange, 1, 200, 1);
  measureRoundTrips(topicbusExchange, 1, 200, 1);
  constexpr int kSporadicPerRound = 45;
  std::vector<double> vecRawSporadic, vecBuslineSporadic, vecQuietSporadic, vecTopicbusSporadic;
  std::mt19937 random(13);
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    bool bSporadicOk = measureSporadic(rawExchange, kSporadicPerRound, 100000, random, vecRawSporadic);
    nm_set_log_type(1, 7);
    bSporadicOk &= measureSporadic(buslineExchange, kSporadicPerRound, 100000, random, vecBuslineSporadic);
    nm_set_log_type(1, 3);
    bSporadicOk &= measureSporadic(buslineExchange, kSporadicPerRound, 100000, random, vecQuietSporadic);
    bSporadicOk &= measureSporadic(topicbusExchange, kSporadicPerRound, 100000, random, vecTopicbusSporadic);
    if (!bSporadicOk) {
      std::fprintf(stderr, "a sporadic run did not complete\n");
      return 1;
    }
    for (int i = 0; i < 2; ++i) {
      vecRaw[i].push_back(measureRoundTrips(rawExchange, nInFlight[i], nTotal[i], 1));
      nm_set_log_type(1, 7);
      vecBusline[i].push_back(measureRoundTrips(buslineExchange, nInFlight[i], nTotal[i], 1));
      nm_set_log_type(1, 3);
      vecQuiet[i].push_back(measureRoundTrips(buslineExchange, nInFlight[i], nTotal[i], 1));
      vecTopicbus[i].push_back(measureRoundTrips(topicbusExchange, nInFlight[i], nTotal[i], 1));
      for (const auto *pVec : {&vecRaw[i], &vecBusline[i], &vecQuiet[i], &vecTopicbus[i]}) {
        if (!pVec->back().bOk) {
          std::fprintf(stderr, "a run did not complete\n");
          return 1;
        }
      }
    }
  }
  rawExchange.stop();
  buslineExchange.stop();
  topicbusExchange.stop();
  for (int i = 0; i < 2; ++i) {
    RoundTrips raw = medianOfRounds(vecRaw[i]);
    RoundTrips busline = medianOfRounds(vecBusline[i]);
    RoundTrips quiet = medianOfRounds(vecQuiet[i]);
    RoundTrips topicbus = medianOfRounds(vecTopicbus[i]);
    print("raw_mosquitto", nInFlight[i], raw);
    print("busline", nInFlight[i], busline);
    print("busline_log3", nInFlight[i], quiet);
    print("topicbus", nInFlight[i], topicbus);
    printRatios("busline", nInFlight[i], busline, raw);
    printRatios("busline_log3", nInFlight[i], quiet, raw);
    printRatios("topicbus", nInFlight[i], topicbus, raw);
  }
  RoundTrips rawSporadic = sporadicFigures("raw_mosquitto", vecRawSporadic);
  RoundTrips buslineSporadic = sporadicFigures("busline", vecBuslineSporadic);
  RoundTrips quietSporadic = sporadicFigures("busline_log3", vecQuietSporadic);
  RoundTrips topicbusSporadic = sporadicFigures("topicbus", vecTopicbusSporadic);
  printSporadicRatios("busline", buslineSporadic, rawSporadic);
  printSporadicRatios("busline_log3", quietSporadic, rawSporadic);
  printSporadicRatios("topicbus", topicbusSporadic, rawSporadic);
  return 0;
}
