// Two mosquitto nodes joined by a bridge (scripts/local-broker --bridge-to), beside one broker in
// the same run:
// - GetParam round trips application (ztsi) -> driver (ztdm) -> application. Across the bridge
//   the driver is on node A and the application on node B, which bridges to A; on one broker
//   both share a third, unbridged broker. Figures as bench_proxy prints them (sporadic p50/p99,
//   1 and 16 in flight, medians of three rounds in which the two take turns);
// - the two legs of sporadic requests: from the application's call to the driver's entry point
//   (down) and from there to the application's answer callback (up), p50 over all rounds;
// - status reports: reports per second and lost reports of 20,000, sent as fast as ztdm takes
//   them; and the p50/p99 latency of reports sent after random pauses of 0 to 10 ms (medians of
//   the rounds), a stream in which a report often follows the previous one within the 40 ms of
//   a delayed acknowledgement.
// Reports are also measured the other way round, from a driver on node B to an application on
// node A ("bridge_reverse"), since the bridge's connection starts at node B and its two
// directions differ on the wire.
#include "site_exchange.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <random>
#include <vector>

namespace {

using namespace zt::bench;

constexpr int kLegSamplesPerRound = 30;
constexpr int kStreamReports = 400;

struct Legs {
  std::vector<double> vecDownUs;
  std::vector<double> vecUpUs;
};

// Requests one at a time after a random pause of 0 to 100 ms, each split at the moment the
// driver's entry point ran.
void measureLegs(SiteExchange &exchange, uint32_t uFirstSn, std::mt19937 &random, Legs &legs) {
  std::mutex mutex;
  std::condition_variable answered;
  uint32_t uAnswered = 0;
  Clock::time_point answeredAt;
  exchange.m_onResponse = [&](uint32_t uSN) {
    Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex);
    uAnswered = uSN;
    answeredAt = now;
    answered.notify_one();
  };
  std::uniform_int_distribution<int> pauseUs(0, 100000);
  for (uint32_t uSN = uFirstSn; uSN < uFirstSn + kLegSamplesPerRound; ++uSN) {
    std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
    Clock::time_point sentAt = Clock::now();
    exchange.sendRequest(uSN);
    std::unique_lock<std::mutex> lock(mutex);
    if (!answered.wait_for(lock, 5s, [&] { return uAnswered == uSN; })) {
      break;
    }
    Clock::time_point driverAt{Clock::duration(g_lastGetConfigAt.load())};
    legs.vecDownUs.push_back(std::chrono::duration<double, std::micro>(driverAt - sentAt).count());
    legs.vecUpUs.push_back(std::chrono::duration<double, std::micro>(answeredAt - driverAt).count());
  }
  exchange.m_onResponse = [](uint32_t) {};
}

// kStreamReports status reports, each after a random pause of 0 to 10 ms; the latency of each
// from its send to its status callback, p50 and p99. bOk is false when one did not arrive.
RoundTrips measureReportStream(SiteExchange &exchange, std::mt19937 &random) {
  constexpr int kFirstSn = 5000000;
  std::vector<Clock::time_point> vecSentAt(kStreamReports);
  std::mutex mutex;
  std::vector<double> vecLatencyUs;
  exchange.m_onReport = [&](int nSn) {
    Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex);
    if (nSn >= kFirstSn && nSn < kFirstSn + kStreamReports) {
      vecLatencyUs.push_back(
          std::chrono::duration<double, std::micro>(now - vecSentAt[static_cast<size_t>(nSn - kFirstSn)])
              .count());
    }
  };
  std::uniform_int_distribution<int> pauseUs(0, 10000);
  for (int i = 0; i < kStreamReports; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
    {
      std::lock_guard<std::mutex> lock(mutex);
      vecSentAt[static_cast<size_t>(i)] = Clock::now();
    }
    exchange.report(kFirstSn + i);
  }
  zt::test::waitFor(
      [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return vecLatencyUs.size() == kStreamReports;
      },
      5s);
  exchange.m_onReport = [](int) {};
  std::lock_guard<std::mutex> lock(mutex);
  RoundTrips result;
  result.bOk = vecLatencyUs.size() == kStreamReports;
  percentilesOf(vecLatencyUs, result);
  return result;
}

double p50Of(std::vector<double> &vecUs) {
  RoundTrips result;
  percentilesOf(vecUs, result);
  return result.dP50Us;
}

} // namespace

int main() {
  zt::test::Broker nodeA;
  zt::test::Broker oneBroker;
  if (!nodeA.start() || !oneBroker.start()) {
    std::fprintf(stderr, "a broker did not start\n");
    return 1;
  }
  zt::test::Broker nodeB;
  nodeB.bridgeTo(nodeA);
  if (!nodeB.start()) {
    std::fprintf(stderr, "the bridged node did not start\n");
    return 1;
  }
  SiteExchange bridged("R", nodeA.port());
  SiteExchange reverse("Q", nodeB.port());
  SiteExchange single("L", oneBroker.port());
  if (!bridged.start(nodeB.port()) || !reverse.start(nodeA.port())) {
    std::fprintf(stderr, "bridge: no GetParam was answered across the bridge\n");
    return 1;
  }
  if (!single.start(oneBroker.port())) {
    std::fprintf(stderr, "one broker: no GetParam was answered\n");
    return 1;
  }
  // Round trips and legs of the one broker and the bridge, taking turns so that a change of
  // machine load hits both.
  SiteExchange *exchanges[] = {&single, &bridged, &reverse};
  const char *pstrNames[] = {"one_broker", "bridge", "bridge_reverse"};
  SiteFigures figures[3];
  Legs legs[2];
  std::vector<RoundTrips> vecStreams[3];
  std::mt19937 random(13);
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    for (int i = 0; i < 2; ++i) {
      measureRound(*exchanges[i], nRound, random, figures[i]);
      measureLegs(*exchanges[i], 1000000u * static_cast<uint32_t>(nRound + 1) + 300000, random, legs[i]);
    }
    for (int i = 0; i < 3; ++i) {
      vecStreams[i].push_back(measureReportStream(*exchanges[i], random));
    }
  }
  for (int i = 0; i < 3; ++i) {
    measureReports(*exchanges[i], figures[i]);
    exchanges[i]->stop();
  }
  std::printf("getparam_devices %d devices\n", kDevices);
  for (int i : {1, 0}) {
    printFigures(pstrNames[i], figures[i]);
    std::printf("%s_getparam_down_leg_p50 %.1f us\n", pstrNames[i], p50Of(legs[i].vecDownUs));
    std::printf("%s_getparam_up_leg_p50 %.1f us\n", pstrNames[i], p50Of(legs[i].vecUpUs));
  }
  std::printf("bridge_reverse_reports %.0f per_s\n", figures[2].dReportsPerSecond);
  std::printf("bridge_reverse_reports_lost %d of_%d\n", figures[2].nReportsLost, kReports);
  for (int i : {1, 2, 0}) {
    RoundTrips stream = medianOfRounds(vecStreams[i]);
    int nIncomplete = 0;
    for (const RoundTrips &round : vecStreams[i]) {
      nIncomplete += round.bOk ? 0 : 1;
    }
    std::printf("%s_report_stream_p50 %.1f us\n", pstrNames[i], stream.dP50Us);
    std::printf("%s_report_stream_p99 %.1f us\n", pstrNames[i], stream.dP99Us);
    std::printf("%s_report_stream_incomplete_rounds %d of_%d\n", pstrNames[i], nIncomplete, kRounds);
  }
  RoundTrips bridgeSporadic;
  RoundTrips oneSporadic;
  percentilesOf(figures[1].vecSporadicUs, bridgeSporadic);
  percentilesOf(figures[0].vecSporadicUs, oneSporadic);
  std::printf("ratio_getparam_sporadic_p50 %.2f bridge/one_broker\n",
              bridgeSporadic.dP50Us / oneSporadic.dP50Us);
  std::printf("ratio_getparam_p50_inflight1 %.2f bridge/one_broker\n",
              medianOfRounds(figures[1].vecInFlight1).dP50Us /
                  medianOfRounds(figures[0].vecInFlight1).dP50Us);
  std::printf("ratio_reports %.2f bridge/one_broker\n",
              figures[1].dReportsPerSecond / figures[0].dReportsPerSecond);
  return 0;
}
