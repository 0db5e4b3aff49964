// ztsi-proxy across two sites, beside the same exchange on one site in the same run:
// - GetParam round trips application (ztsi) -> driver (ztdm) -> application. On two sites the
//   application is on broker B and the driver on broker A, and each request passes the
//   server-mode proxy, the link and the client-mode proxy, and its answer the same way back; on
//   one site application and driver share a third broker. The requests go to 8 devices in turn.
//   Figures: p50/p99 of sporadic requests (one at a time after a random pause of 0 to 100 ms),
//   p50 with 1 in flight, p50 and requests per second with 16 in flight (medians of three rounds
//   in which the two sites take turns);
// - status reports ztdm_ReportStatus -> status callback: reports per second and lost reports of
//   20,000, sent as fast as ztdm takes them.
// The proxies run as separate processes from the build, logging at INFO, with a heartbeat
// period of 5 s.
#include "broker.h"
#include "proxy_process.h"
#include "round_trips.h"
#include "ztdm.h"
#include "ztsi.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using zt::bench::RoundTrips;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kVdt = 16;
// Requests go to several devices: the proxy runs one device's requests in order, so one device
// alone would measure one request at a time across the link.
constexpr int kDevices = 8;
constexpr int kReports = 20000;
constexpr int kRounds = 3;
constexpr int kSporadicPerRound = 70;
constexpr int kBackToBack = 2000;
const std::string kReportBody(64, 'r');

int answerGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  std::string strText = "{\"param\":\"" + std::string(pDevice->id) + "\",\"sn\":" + std::to_string(nSn) + "}";
  *pnOutLen = std::min(*pnOutLen, static_cast<int>(strText.size()));
  std::memcpy(pOut, strText.data(), static_cast<size_t>(*pnOutLen));
  return 0;
}

// A driver with kDevices devices on one broker and an application asking them on another (or
// the same); request n goes to device n % kDevices.
class SiteExchange : public zt::bench::Exchange {
public:
  SiteExchange(const std::string &strPrefix, int nDriverPort) : m_nDriverPort(nDriverPort) {
    for (int i = 0; i < kDevices; ++i) {
      m_vecDevIds.push_back(strPrefix + "-" + std::to_string(i));
    }
  }

  // Connects both sides and returns once each device has answered a GetParam with code 0.
  bool start(int nAppPort) override {
    m_pDriver = ztdm_Create(("127.0.0.1:" + std::to_string(m_nDriverPort)).c_str());
    m_pApp = ztsi_Create(("127.0.0.1:" + std::to_string(nAppPort)).c_str(), &SiteExchange::onFound, this);
    if (m_pDriver == nullptr || m_pApp == nullptr) {
      return false;
    }
    ztsi_SetStatusCallback(m_pApp, &SiteExchange::onStatus);
    DriverCallbacks callbacks{nullptr, &answerGetConfig, nullptr, nullptr};
    bool bOk = ztdm_RegisterDriver(m_pDriver, kVdt, &callbacks) == 0;
    for (const std::string &strDevId : m_vecDevIds) {
      DeviceInfo device;
      std::memset(&device, 0, sizeof device);
      std::strncpy(device.id, strDevId.c_str(), sizeof device.id - 1);
      std::strcpy(device.pid, "0");
      device.vdt = kVdt;
      bOk = bOk && ztdm_RegisterDevice(m_pDriver, &device) == 0;
    }
    auto deadline = Clock::now() + 90s;
    int nSn = 0;
    for (int nDevice = 0; bOk && nDevice < kDevices && Clock::now() < deadline;) {
      ++nSn;
      if (m_nFound.load() < kDevices) {
        ztsi_FindDevices(m_pApp, "all", 0, nullptr);
        zt::test::waitFor([&] { return m_nFound.load() == kDevices; }, 500ms);
      } else if (ztsi_GetParam(m_pApp, m_vecDevIds[nDevice].c_str(), nSn, &SiteExchange::onAnswer) == 0 &&
                 zt::test::waitFor([&] { return m_nLastOkSn.load() == nSn; }, 3s)) {
        ++nDevice;
      } else {
        std::this_thread::sleep_for(200ms);
      }
    }
    return bOk && m_nLastOkSn.load() == nSn;
  }
  bool sendRequest(uint32_t uSN) override {
    return ztsi_GetParam(m_pApp, m_vecDevIds[uSN % kDevices].c_str(), static_cast<int>(uSN),
                         &SiteExchange::onAnswer) == 0;
  }
  void stop() override {
    ztsi_Destory(m_pApp);
    ztdm_Destroy(m_pDriver);
  }
  bool report(int nSn) {
    return ztdm_ReportStatus(m_pDriver, m_vecDevIds[0].c_str(), nSn, kReportBody.data(),
                             static_cast<int>(kReportBody.size())) == 0;
  }

  std::function<void()> m_onReport = [] {};

private:
  static void onFound(const char *, int, const DeviceInfo *pInfo, void *pUserData) {
    auto *pExchange = static_cast<SiteExchange *>(pUserData);
    if (pInfo == nullptr) {
      return;
    }
    std::lock_guard<std::mutex> lock(pExchange->m_mutex);
    auto &vecIds = pExchange->m_vecDevIds;
    if (std::find(vecIds.begin(), vecIds.end(), pInfo->id) != vecIds.end() &&
        pExchange->m_setFound.insert(pInfo->id).second) {
      ++pExchange->m_nFound;
    }
  }
  static void onAnswer(const char *, int nSn, const char *pData, int nLen, void *pUserData) {
    auto *pExchange = static_cast<SiteExchange *>(pUserData);
    if (std::string(pData, static_cast<size_t>(std::max(nLen, 0))).find("\"code\":0,") != std::string::npos) {
      pExchange->m_nLastOkSn = nSn;
    }
    pExchange->m_onResponse(static_cast<uint32_t>(nSn));
  }
  static void onStatus(const char *, int, const char *, int, void *pUserData) {
    static_cast<SiteExchange *>(pUserData)->m_onReport();
  }

  std::vector<std::string> m_vecDevIds;
  int m_nDriverPort;
  ZtdmHandle *m_pDriver = nullptr;
  ZtsiHandle *m_pApp = nullptr;
  std::mutex m_mutex;
  std::set<std::string> m_setFound;
  std::atomic<int> m_nFound{0};
  std::atomic<int> m_nLastOkSn{0};
};

// What one exchange measured over all rounds.
struct SiteFigures {
  std::vector<RoundTrips> vecInFlight1;
  std::vector<RoundTrips> vecInFlight16;
  std::vector<double> vecSporadicUs;
  int nIncompleteRounds = 0;
  double dReportsPerSecond = 0;
  int nReportsLost = 0;
};

void measureRound(SiteExchange &exchange, int nRound, std::mt19937 &random, SiteFigures &figures) {
  // Each measurement has sequence numbers of its own, far above those of start().
  uint32_t uBase = 1000000u * static_cast<uint32_t>(nRound + 1);
  figures.vecInFlight1.push_back(zt::bench::measureRoundTrips(exchange, 1, kBackToBack / 4, uBase));
  figures.vecInFlight16.push_back(zt::bench::measureRoundTrips(exchange, 16, kBackToBack, uBase + 100000));
  bool bSporadicOk =
      zt::bench::measureSporadic(exchange, kSporadicPerRound, uBase + 200000, random, figures.vecSporadicUs);
  if (!figures.vecInFlight1.back().bOk || !figures.vecInFlight16.back().bOk || !bSporadicOk) {
    ++figures.nIncompleteRounds;
  }
}

// Sends kReports status reports at once; the rate runs from the first send to the last arrival,
// and whatever has not arrived after 5 s without any arrival counts as lost.
void measureReports(SiteExchange &exchange, SiteFigures &figures) {
  std::atomic<int> nArrived{0};
  std::atomic<Clock::rep> lastArrival{0};
  exchange.m_onReport = [&] {
    lastArrival = Clock::now().time_since_epoch().count();
    ++nArrived;
  };
  Clock::time_point start = Clock::now();
  for (int nSn = 1; nSn <= kReports; ++nSn) {
    exchange.report(nSn);
  }
  int nCounted = -1;
  Clock::time_point lastProgress = Clock::now();
  while (nArrived.load() < kReports && Clock::now() - lastProgress < 5s) {
    std::this_thread::sleep_for(20ms);
    if (nArrived.load() != nCounted) {
      nCounted = nArrived.load();
      lastProgress = Clock::now();
    }
  }
  exchange.m_onReport = [] {};
  Clock::time_point end{Clock::duration(lastArrival.load())};
  figures.nReportsLost = kReports - nArrived.load();
  figures.dReportsPerSecond = nArrived.load() / std::chrono::duration<double>(end - start).count();
}

void printFigures(const char *pstrSite, SiteFigures &figures) {
  RoundTrips inFlight1 = zt::bench::medianOfRounds(figures.vecInFlight1);
  RoundTrips inFlight16 = zt::bench::medianOfRounds(figures.vecInFlight16);
  RoundTrips sporadic;
  zt::bench::percentilesOf(figures.vecSporadicUs, sporadic);
  std::printf("%s_getparam_sporadic_p50 %.1f us\n", pstrSite, sporadic.dP50Us);
  std::printf("%s_getparam_sporadic_p99 %.1f us\n", pstrSite, sporadic.dP99Us);
  std::printf("%s_getparam_sporadic_samples %zu requests\n", pstrSite, figures.vecSporadicUs.size());
  std::printf("%s_getparam_p50_inflight1 %.1f us\n", pstrSite, inFlight1.dP50Us);
  std::printf("%s_getparam_requests_inflight1 %.0f per_s\n", pstrSite, inFlight1.dPerSecond);
  std::printf("%s_getparam_p50_inflight16 %.1f us\n", pstrSite, inFlight16.dP50Us);
  std::printf("%s_getparam_requests_inflight16 %.0f per_s\n", pstrSite, inFlight16.dPerSecond);
  std::printf("%s_getparam_incomplete_rounds %d of_%d\n", pstrSite, figures.nIncompleteRounds, kRounds);
  std::printf("%s_reports %.0f per_s\n", pstrSite, figures.dReportsPerSecond);
  std::printf("%s_reports_lost %d of_%d\n", pstrSite, figures.nReportsLost, kReports);
}

} // namespace

int main() {
  zt::test::Broker brokerA;
  zt::test::Broker brokerB;
  zt::test::Broker brokerOneSite;
  if (!brokerA.start() || !brokerB.start() || !brokerOneSite.start()) {
    std::fprintf(stderr, "a broker did not start\n");
    return 1;
  }
  std::string strLink = "127.0.0.1:" + std::to_string(zt::test::freeTcpPort());
  zt::test::ProxyConfig serverConfig;
  serverConfig.nRunMode = 1;
  serverConfig.nMqttPort = brokerB.port();
  serverConfig.strLocalAddr = strLink;
  serverConfig.nHeartbeatTimeoutS = 5;
  serverConfig.nLogLevel = 6;
  zt::test::ProxyConfig clientConfig = serverConfig;
  clientConfig.nRunMode = 0;
  clientConfig.nMqttPort = brokerA.port();
  clientConfig.strLocalAddr.clear();
  clientConfig.strRemoteAddr = strLink;
  clientConfig.vecVdtList = {kVdt};
  zt::test::ProxyProcess server(ZT_PROXY_EXECUTABLE, serverConfig);
  zt::test::ProxyProcess client(ZT_PROXY_EXECUTABLE, clientConfig);
  if (!server.start() || !server.waitForLog("ztIP_StartTCPServer,侦听成功") || !client.start()) {
    std::fprintf(stderr, "the server-mode proxy did not listen, or a proxy did not start\n");
    return 1;
  }

  SiteExchange twoSites("R", brokerA.port());
  SiteExchange oneSite("L", brokerOneSite.port());
  if (!twoSites.start(brokerB.port())) {
    std::fprintf(stderr, "two sites: no GetParam was answered across the link\n");
    return 1;
  }
  if (!oneSite.start(brokerOneSite.port())) {
    std::fprintf(stderr, "one site: no GetParam was answered\n");
    return 1;
  }
  // Taking turns, so that a change of machine load hits both.
  SiteExchange *exchanges[] = {&oneSite, &twoSites};
  SiteFigures figures[2];
  std::mt19937 random(13);
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    for (int i = 0; i < 2; ++i) {
      measureRound(*exchanges[i], nRound, random, figures[i]);
    }
  }
  for (int i = 0; i < 2; ++i) {
    measureReports(*exchanges[i], figures[i]);
    exchanges[i]->stop();
  }
  SiteFigures &oneSiteFigures = figures[0];
  SiteFigures &twoSiteFigures = figures[1];
  std::printf("getparam_devices %d devices\n", kDevices);
  printFigures("two_site", twoSiteFigures);
  printFigures("one_site", oneSiteFigures);
  auto ratio = [](const char *pstrName, double dTwoSite, double dOneSite) {
    std::printf("ratio_%s %.2f two_site/one_site\n", pstrName, dTwoSite / dOneSite);
  };
  RoundTrips twoSporadic, oneSporadic;
  zt::bench::percentilesOf(twoSiteFigures.vecSporadicUs, twoSporadic);
  zt::bench::percentilesOf(oneSiteFigures.vecSporadicUs, oneSporadic);
  ratio("getparam_sporadic_p50", twoSporadic.dP50Us, oneSporadic.dP50Us);
  ratio("getparam_p50_inflight1", zt::bench::medianOfRounds(twoSiteFigures.vecInFlight1).dP50Us,
        zt::bench::medianOfRounds(oneSiteFigures.vecInFlight1).dP50Us);
  ratio("getparam_requests_inflight16", zt::bench::medianOfRounds(twoSiteFigures.vecInFlight16).dPerSecond,
        zt::bench::medianOfRounds(oneSiteFigures.vecInFlight16).dPerSecond);
  ratio("reports", twoSiteFigures.dReportsPerSecond, oneSiteFigures.dReportsPerSecond);
  return 0;
}
