// An application on ztsi at one site: it records the devices announced to it, the answers to
// its requests (by sn) and the reports it receives.
#pragma once

#include "site_driver.h"
#include "ztsi.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zt::test {

// An answer as the application receives it: the response object {"cmd","code","desc"}.
struct Answer {
  std::string strDevId;
  int nCmd = 0;
  int nCode = 0;
  std::string strDesc;
  std::string strText; // the whole text
};

struct Report {
  ReportKind kind;
  std::string strDevId;
  int nSn = 0;
  std::string strData;
};

class SiteApplication {
public:
  SiteApplication() = default;
  ~SiteApplication() { stop(); }
  SiteApplication(const SiteApplication &) = delete;
  SiteApplication &operator=(const SiteApplication &) = delete;

  bool start(int nBrokerPort);
  void stop();

  // How many times the device was announced, and the record it was last announced with.
  int timesFound(const std::string &strDevId) const;
  std::optional<DeviceInfo> foundDevice(const std::string &strDevId) const;
  bool waitFound(const std::string &strDevId, int nTimes, std::chrono::milliseconds timeout);
  // Asks every device side to announce its devices; the ztsi result.
  int findDevices();

  // The requests; each returns ztsi's result (0 sent).
  int setParam(const std::string &strDevId, int nSn, const std::string &strData);
  int getParam(const std::string &strDevId, int nSn);
  int ctrl(const std::string &strDevId, int nSn, const std::string &strData);
  int qryStatus(const std::string &strDevId, int nSn);

  std::optional<Answer> answer(int nSn) const;
  std::optional<Answer> waitAnswer(int nSn, std::chrono::milliseconds timeout);

  // The first report of this kind whose data is strData.
  std::optional<Report> report(ReportKind kind, const std::string &strData) const;
  std::optional<Report> waitReport(ReportKind kind, const std::string &strData,
                                   std::chrono::milliseconds timeout);

private:
  static void onFound(const char *pstrDevId, int nSn, const DeviceInfo *pInfo, void *pUserData);
  static void onAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  static void onData(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  static void onStatus(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  static void onEvent(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  void addReport(ReportKind kind, const char *pstrDevId, int nSn, const char *pData, int nLen);

  ZtsiHandle *m_pHandle = nullptr;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<std::string, int> m_mapFound;
  std::map<std::string, DeviceInfo> m_mapDevices;
  std::map<int, Answer> m_mapAnswers;
  std::vector<Report> m_vecReports;
};

} // namespace zt::test
