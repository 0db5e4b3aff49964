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
#include "proxy_process.h"
#include "site_exchange.h"

#include <cstdio>
#include <random>
#include <string>

using zt::bench::kDevices;
using zt::bench::kRounds;
using zt::bench::kVdt;
using zt::bench::measureReports;
using zt::bench::measureRound;
using zt::bench::printFigures;
using zt::bench::RoundTrips;
using zt::bench::SiteExchange;
using zt::bench::SiteFigures;

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
