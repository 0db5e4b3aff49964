// The registries of one instance: devices by devId, driver tables by vdt, test cases by vdt,
// and the run model used to build topics. Written by the driver's threads and read by the
// request and timer threads, so each access takes the registry mutex; driver entry points are
// called outside it.
#pragma once

#include "ztdm_driver_callbacks.h"

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace zt::dm {

class DriverManager {
public:
  // Size of the error text buffers filled when a driver cannot be reached.
  static constexpr size_t kErrorTextSize = 128;

  explicit DriverManager(int nRunModel) : m_nRunModel(nRunModel) {}

  int runModel() const { return m_nRunModel; }
  void setRunModel(int nRunModel) { m_nRunModel = nRunModel; }

  void registerDriver(int nVdt, const DriverCallbacks &callbacks);

  // Stores a copy of the record under its id (an empty pid becomes "0"); returns whether the
  // device was already registered, in which case all fields but the id are overwritten.
  bool registerDevice(const DeviceInfo &device);
  bool findDevice(const std::string &strDevId, DeviceInfo &device) const;
  std::map<std::string, DeviceInfo> devices() const;

  void registerTestCase(int nVdt, const std::string &strTestCase);
  std::map<int, std::string> testCases() const;

  // Entry point calls: the driver's result, or -1 (device not registered) and -2 (no table or
  // no such entry for the device's vdt) after writing the reason into pszError.
  int setConfig(const std::string &strDevId, const char *pData, int nDataLen, int nSn, char *pszError);
  int getConfig(const std::string &strDevId, char *pOut, int *pnOutLen, int nSn, char *pszError);
  int ctrl(const std::string &strDevId, const char *pData, int nDataLen, char *pOut, int *pnOutLen, int nSn,
           char *pszError);
  int qryStatus(const std::string &strDevId, char *pOut, int *pnOutLen, int nSn, char *pszError);

private:
  // Copies the device and its driver table out of the registries; a failure writes the error
  // text, logs it and returns -1 or -2.
  int findDriver(const std::string &strDevId, const char *pstrEntry, DeviceInfo &device,
                 DriverCallbacks &callbacks, char *pszError) const;
  // Calls one entry of the device's table; an empty entry is never called.
  template <typename Entry, typename... Args>
  int callEntry(const std::string &strDevId, const char *pstrEntry, Entry DriverCallbacks::*pEntry,
                char *pszError, Args... args);
  static int missingEntry(const std::string &strDevId, const char *pstrEntry, char *pszError);

  mutable std::mutex m_mutex;
  std::map<std::string, DeviceInfo> m_mapDevices;
  std::map<int, DriverCallbacks> m_mapDrivers;
  std::map<int, std::string> m_mapTestCases;
  std::atomic<int> m_nRunModel;
};

} // namespace zt::dm
