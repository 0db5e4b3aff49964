// A driver on ztdm with kDevices devices on one broker and an application on ztsi asking them on
// another broker (or the same): GetParam round trips (1 and 16 in flight, sporadic) and status
// reports, as the benchmarks of more than one broker compare them with one broker in the same run.
#pragma once

#include "broker.h"
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

namespace zt::bench {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline constexpr int kVdt = 16;
// Requests go to several devices: the proxy runs one device's requests in order, so one device
// alone would measure one request at a time across the link.
inline constexpr int kDevices = 8;
inline constexpr int kReports = 20000;
inline constexpr int kRounds = 3;
inline constexpr int kSporadicPerRound = 70;
inline constexpr int kBackToBack = 2000;
inline const std::string kReportBody(64, 'r');

// When a driver's GetParam entry point was last called (steady clock ticks).
inline std::atomic<Clock::rep> g_lastGetConfigAt{0};

inline int answerGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  g_lastGetConfigAt = Clock::now().time_since_epoch().count();
  std::string strText = "{\"param\":\"" + std::string(pDevice->id) + "\",\"sn\":" + std::to_string(nSn) + "}";
  *pnOutLen = std::min(*pnOutLen, static_cast<int>(strText.size()));
  std::memcpy(pOut, strText.data(), static_cast<size_t>(*pnOutLen));
  return 0;
}

// A driver with kDevices devices on one broker and an application asking them on another (or
// the same); request n goes to device n % kDevices.
class SiteExchange : public Exchange {
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

  // Called with the sn of every status report.
  std::function<void(int)> m_onReport = [](int) {};

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
  static void onStatus(const char *, int nSn, const char *, int, void *pUserData) {
    static_cast<SiteExchange *>(pUserData)->m_onReport(nSn);
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

inline void measureRound(SiteExchange &exchange, int nRound, std::mt19937 &random, SiteFigures &figures) {
  // Each measurement has sequence numbers of its own, far above those of start().
  uint32_t uBase = 1000000u * static_cast<uint32_t>(nRound + 1);
  figures.vecInFlight1.push_back(measureRoundTrips(exchange, 1, kBackToBack / 4, uBase));
  figures.vecInFlight16.push_back(measureRoundTrips(exchange, 16, kBackToBack, uBase + 100000));
  bool bSporadicOk =
      measureSporadic(exchange, kSporadicPerRound, uBase + 200000, random, figures.vecSporadicUs);
  if (!figures.vecInFlight1.back().bOk || !figures.vecInFlight16.back().bOk || !bSporadicOk) {
    ++figures.nIncompleteRounds;
  }
}

// Sends kReports status reports at once; the rate runs from the first send to the last arrival,
// and whatever has not arrived after 5 s without any arrival counts as lost.
inline void measureReports(SiteExchange &exchange, SiteFigures &figures) {
  std::atomic<int> nArrived{0};
  std::atomic<Clock::rep> lastArrival{0};
  exchange.m_onReport = [&](int) {
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
  exchange.m_onReport = [](int) {};
  Clock::time_point end{Clock::duration(lastArrival.load())};
  figures.nReportsLost = kReports - nArrived.load();
  figures.dReportsPerSecond = nArrived.load() / std::chrono::duration<double>(end - start).count();
}

inline void printFigures(const char *pstrSite, SiteFigures &figures) {
  RoundTrips inFlight1 = medianOfRounds(figures.vecInFlight1);
  RoundTrips inFlight16 = medianOfRounds(figures.vecInFlight16);
  RoundTrips sporadic;
  percentilesOf(figures.vecSporadicUs, sporadic);
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

} // namespace zt::bench
