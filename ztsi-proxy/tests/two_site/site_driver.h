// The device driver at site A: ztdm instances on broker A serving the devices the two-site
// tests address, recording every request that reaches an entry point.
//
// Devices (vdt 16 and 17 are proxied, 99 is not):
// - gate-1, gate-2 (vdt 16): full driver table; GetConfig answers "param:<devId>:<sn>",
//   QryStatus {"online":true,"devId":"<devId>"}, Ctrl "done:<data>";
// - panel-1 (vdt 17): a table without QryStatus, so ztdm answers that request itself (-2);
// - cam-1 (vdt 99): not listed at the client-mode proxy;
// - slow-1 (vdt 16), on an instance of its own: GetConfig waits until the test releases it.
// SetConfig and Ctrl fail with code N when their data is "fail:N"; Ctrl succeeds with the
// nested answer {"code":N,"data":"x"} when its data is "nested:N".
#pragma once

#include "ztdm.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zt::test {

struct DriverRequest {
  std::string strCommand; // "SetParam", "GetParam", "Ctrl" or "QryStatus"
  std::string strDevId;
  int nSn = 0;
  std::string strData;
};

enum class ReportKind { Data, Status, Event };

class SiteDriver {
public:
  static constexpr int kListedVdt = 16;
  static constexpr int kListedVdtWithoutStatus = 17;
  static constexpr int kUnlistedVdt = 99;

  // One driver per process: the entry points are plain functions that find it through a
  // process-wide pointer.
  SiteDriver();
  ~SiteDriver();
  SiteDriver(const SiteDriver &) = delete;
  SiteDriver &operator=(const SiteDriver &) = delete;

  // Creates the instances on the broker at nBrokerPort and registers drivers and devices.
  bool start(int nBrokerPort);
  // Releases any blocked entry point and destroys the instances.
  void stop();

  // The request that reached an entry point with this sn, if any.
  std::optional<DriverRequest> request(int nSn) const;
  bool waitRequest(int nSn, std::chrono::milliseconds timeout);
  // Lets one waiting (or the next) GetConfig of slow-1 return.
  void releaseSlow();

  int report(ReportKind kind, const std::string &strDevId, int nSn, const std::string &strData);

private:
  static int onSetConfig(const DeviceInfo *pDevice, const char *pData, int nDataLen, int nSn);
  static int onGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn);
  static int onCtrl(const DeviceInfo *pDevice, const char *pData, int nDataLen, char *pOut, int *pnOutLen,
                    int nSn);
  static int onQryStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn);

  void record(const char *pstrCommand, const DeviceInfo *pDevice, int nSn, const char *pData, int nDataLen);
  void waitUntilReleased();

  ZtdmHandle *m_pDevices = nullptr;
  ZtdmHandle *m_pSlowDevice = nullptr;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<DriverRequest> m_vecRequests;
  int m_nReleases = 0;
  bool m_bStopping = false;
};

} // namespace zt::test
