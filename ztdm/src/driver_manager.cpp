#include "driver_manager.h"

#include "device_info_text.h"
#include "ztdm_log.h"

#include <cstdio>
#include <cstring>

namespace zt::dm {

void DriverManager::registerDriver(int nVdt, const DriverCallbacks &callbacks) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_mapDrivers[nVdt] = callbacks;
}

bool DriverManager::registerDevice(const DeviceInfo &device) {
  char szPid[sizeof device.pid] = {0};
  std::memcpy(szPid, device.pid, sizeof szPid);
  if (szPid[0] == '\0') {
    szPid[0] = '0';
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  auto [it, bInserted] = m_mapDevices.try_emplace(protocol::fieldText(device.id));
  DeviceInfo &stored = it->second;
  if (bInserted) {
    std::memset(&stored, 0, sizeof stored);
    std::memcpy(stored.id, device.id, sizeof stored.id);
  }
  std::memcpy(stored.name, device.name, sizeof stored.name);
  std::memcpy(stored.pid, szPid, sizeof stored.pid);
  stored.type = device.type;
  stored.vdt = device.vdt;
  std::memcpy(stored.desc, device.desc, sizeof stored.desc);
  std::memcpy(stored.model, device.model, sizeof stored.model);
  return !bInserted;
}

bool DriverManager::findDevice(const std::string &strDevId, DeviceInfo &device) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapDevices.find(strDevId);
  if (it == m_mapDevices.end()) {
    return false;
  }
  device = it->second;
  return true;
}

std::map<std::string, DeviceInfo> DriverManager::devices() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_mapDevices;
}

void DriverManager::registerTestCase(int nVdt, const std::string &strTestCase) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_mapTestCases[nVdt] = strTestCase;
}

std::map<int, std::string> DriverManager::testCases() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_mapTestCases;
}

int DriverManager::findDriver(const std::string &strDevId, const char *pstrEntry, DeviceInfo &device,
                              DriverCallbacks &callbacks, char *pszError) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto itDevice = m_mapDevices.find(strDevId);
  if (itDevice == m_mapDevices.end()) {
    std::snprintf(pszError, kErrorTextSize, "Can not find devObj devId= [%s] dev=[0x%X]", strDevId.c_str(),
                  0u);
    ZTDM_LOG_ERROR("%s", pszError);
    return -1;
  }
  device = itDevice->second;
  if (device.vdt < 0) {
    ZTDM_LOG_ERROR("Device visual type is wrong! vdt=[%d]", device.vdt);
    return missingEntry(strDevId, pstrEntry, pszError);
  }
  auto itDriver = m_mapDrivers.find(device.vdt);
  if (itDriver == m_mapDrivers.end()) {
    ZTDM_LOG_ERROR("Not suport this device type: %d.\n", device.vdt);
    return missingEntry(strDevId, pstrEntry, pszError);
  }
  callbacks = itDriver->second;
  return 0;
}

int DriverManager::missingEntry(const std::string &strDevId, const char *pstrEntry, char *pszError) {
  std::snprintf(pszError, kErrorTextSize, "Can not find %s driver devId= [%s] ", pstrEntry, strDevId.c_str());
  ZTDM_LOG_ERROR("%s", pszError);
  return -2;
}

template <typename Entry, typename... Args>
int DriverManager::callEntry(const std::string &strDevId, const char *pstrEntry,
                             Entry DriverCallbacks::*pEntry, char *pszError, Args... args) {
  DeviceInfo device;
  DriverCallbacks callbacks;
  int nRet = findDriver(strDevId, pstrEntry, device, callbacks, pszError);
  if (nRet != 0) {
    return nRet;
  }
  if (callbacks.*pEntry == nullptr) {
    return missingEntry(strDevId, pstrEntry, pszError);
  }
  return (callbacks.*pEntry)(&device, args...);
}

int DriverManager::setConfig(const std::string &strDevId, const char *pData, int nDataLen, int nSn,
                             char *pszError) {
  return callEntry(strDevId, "SetConfig", &DriverCallbacks::SetConfig, pszError, pData, nDataLen, nSn);
}

int DriverManager::getConfig(const std::string &strDevId, char *pOut, int *pnOutLen, int nSn,
                             char *pszError) {
  return callEntry(strDevId, "GetConfig", &DriverCallbacks::GetConfig, pszError, pOut, pnOutLen, nSn);
}

int DriverManager::ctrl(const std::string &strDevId, const char *pData, int nDataLen, char *pOut,
                        int *pnOutLen, int nSn, char *pszError) {
  return callEntry(strDevId, "Ctrl", &DriverCallbacks::Ctrl, pszError, pData, nDataLen, pOut, pnOutLen, nSn);
}

int DriverManager::qryStatus(const std::string &strDevId, char *pOut, int *pnOutLen, int nSn,
                             char *pszError) {
  return callEntry(strDevId, "QryStatus", &DriverCallbacks::QryStatus, pszError, pOut, pnOutLen, nSn);
}

} // namespace zt::dm
