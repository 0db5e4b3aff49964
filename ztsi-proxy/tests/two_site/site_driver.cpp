#include "site_driver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zt::test {

namespace {

SiteDriver *s_pDriver = nullptr;

std::string textOf(const char *pData, int nLen) {
  return pData != nullptr && nLen > 0 ? std::string(pData, static_cast<size_t>(nLen)) : std::string();
}

void writeOut(const std::string &strText, char *pOut, int *pnOutLen) {
  *pnOutLen = std::min(*pnOutLen, static_cast<int>(strText.size()));
  std::memcpy(pOut, strText.data(), static_cast<size_t>(*pnOutLen));
}

// The failure code asked for by "fail:N", else 0.
int failureCodeOf(const std::string &strData) {
  return strData.rfind("fail:", 0) == 0 ? std::atoi(strData.c_str() + 5) : 0;
}

DeviceInfo deviceInfo(const char *pstrId, int nVdt, const char *pstrName) {
  DeviceInfo info;
  std::memset(&info, 0, sizeof info);
  std::strncpy(info.id, pstrId, sizeof info.id - 1);
  std::strncpy(info.name, pstrName, sizeof info.name - 1);
  std::strcpy(info.pid, "0");
  std::strcpy(info.desc, "two-site test device");
  std::strcpy(info.model, "T-1");
  info.type = 3;
  info.vdt = nVdt;
  return info;
}

} // namespace

SiteDriver::SiteDriver() {
  s_pDriver = this;
}

SiteDriver::~SiteDriver() {
  stop();
  s_pDriver = nullptr;
}

bool SiteDriver::start(int nBrokerPort) {
  std::string strAddress = "127.0.0.1:" + std::to_string(nBrokerPort);
  m_pDevices = ztdm_Create(strAddress.c_str());
  m_pSlowDevice = ztdm_Create(strAddress.c_str());
  if (m_pDevices == nullptr || m_pSlowDevice == nullptr) {
    return false;
  }
  const DriverCallbacks full{&onSetConfig, &onGetConfig, &onCtrl, &onQryStatus};
  const DriverCallbacks withoutStatus{&onSetConfig, &onGetConfig, &onCtrl, nullptr};
  bool bOk = ztdm_RegisterDriver(m_pDevices, kListedVdt, &full) == 0 &&
             ztdm_RegisterDriver(m_pDevices, kListedVdtWithoutStatus, &withoutStatus) == 0 &&
             ztdm_RegisterDriver(m_pDevices, kUnlistedVdt, &full) == 0 &&
             ztdm_RegisterDriver(m_pSlowDevice, kListedVdt, &full) == 0;
  const DeviceInfo devices[] = {deviceInfo("gate-1", kListedVdt, "entry gate"),
                                deviceInfo("gate-2", kListedVdt, "exit gate"),
                                deviceInfo("panel-1", kListedVdtWithoutStatus, "display panel"),
                                deviceInfo("cam-1", kUnlistedVdt, "plate camera")};
  for (const DeviceInfo &device : devices) {
    bOk = bOk && ztdm_RegisterDevice(m_pDevices, &device) == 0;
  }
  DeviceInfo slow = deviceInfo("slow-1", kListedVdt, "slow gate");
  return bOk && ztdm_RegisterDevice(m_pSlowDevice, &slow) == 0;
}

void SiteDriver::stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStopping = true;
  }
  m_changed.notify_all();
  for (ZtdmHandle **ppHandle : {&m_pDevices, &m_pSlowDevice}) {
    if (*ppHandle != nullptr) {
      ztdm_Destroy(*ppHandle);
      *ppHandle = nullptr;
    }
  }
}

std::optional<DriverRequest> SiteDriver::request(int nSn) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const DriverRequest &request : m_vecRequests) {
    if (request.nSn == nSn) {
      return request;
    }
  }
  return std::nullopt;
}

bool SiteDriver::waitRequest(int nSn, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] {
    return std::any_of(m_vecRequests.begin(), m_vecRequests.end(),
                       [&](const DriverRequest &request) { return request.nSn == nSn; });
  });
}

void SiteDriver::releaseSlow() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_nReleases;
  }
  m_changed.notify_all();
}

int SiteDriver::report(ReportKind kind, const std::string &strDevId, int nSn, const std::string &strData) {
  int nLen = static_cast<int>(strData.size());
  switch (kind) {
  case ReportKind::Data:
    return ztdm_ReportData(m_pDevices, strDevId.c_str(), nSn, strData.data(), nLen);
  case ReportKind::Status:
    return ztdm_ReportStatus(m_pDevices, strDevId.c_str(), nSn, strData.data(), nLen);
  case ReportKind::Event:
    return ztdm_ReportEvent(m_pDevices, strDevId.c_str(), nSn, strData.data(), nLen);
  }
  return -1;
}

void SiteDriver::record(const char *pstrCommand, const DeviceInfo *pDevice, int nSn, const char *pData,
                        int nDataLen) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecRequests.push_back({pstrCommand, pDevice->id, nSn, textOf(pData, nDataLen)});
  }
  m_changed.notify_all();
}

void SiteDriver::waitUntilReleased() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_nReleases > 0 || m_bStopping; });
  if (m_nReleases > 0) {
    --m_nReleases;
  }
}

int SiteDriver::onSetConfig(const DeviceInfo *pDevice, const char *pData, int nDataLen, int nSn) {
  s_pDriver->record("SetParam", pDevice, nSn, pData, nDataLen);
  return failureCodeOf(textOf(pData, nDataLen));
}

int SiteDriver::onGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  s_pDriver->record("GetParam", pDevice, nSn, nullptr, 0);
  if (std::strcmp(pDevice->id, "slow-1") == 0) {
    s_pDriver->waitUntilReleased();
  }
  writeOut("param:" + std::string(pDevice->id) + ":" + std::to_string(nSn), pOut, pnOutLen);
  return 0;
}

int SiteDriver::onCtrl(const DeviceInfo *pDevice, const char *pData, int nDataLen, char *pOut, int *pnOutLen,
                       int nSn) {
  s_pDriver->record("Ctrl", pDevice, nSn, pData, nDataLen);
  std::string strData = textOf(pData, nDataLen);
  bool bNested = strData.rfind("nested:", 0) == 0;
  writeOut(bNested ? "{\"code\":" + strData.substr(7) + ",\"data\":\"x\"}" : "done:" + strData, pOut,
           pnOutLen);
  return failureCodeOf(strData);
}

int SiteDriver::onQryStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  s_pDriver->record("QryStatus", pDevice, nSn, nullptr, 0);
  writeOut("{\"online\":true,\"devId\":\"" + std::string(pDevice->id) + "\"}", pOut, pnOutLen);
  return 0;
}

} // namespace zt::test
