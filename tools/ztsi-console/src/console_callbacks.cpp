#include "console_callbacks.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace zt::console {
namespace {

constexpr auto kFoundDevicePause = std::chrono::milliseconds(5);

// The found devices by id, written on ztsi's threads.
class FoundDevices {
public:
  void store(const DeviceInfo &device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mapDevices[field(device.id, sizeof(device.id))] = device;
  }

  // A text field of the record, which lacks its terminator when it fills the field.
  static std::string field(const char *pField, size_t nSize) {
    return std::string(pField, strnlen(pField, nSize));
  }

private:
  std::mutex m_mutex;
  std::map<std::string, DeviceInfo> m_mapDevices;
};

FoundDevices &foundDevices() {
  static FoundDevices devices;
  return devices;
}

// Data handed to a callback is not terminated: exactly nLen bytes.
std::string dataText(const char *pData, int nLen) {
  return pData != nullptr && nLen > 0 ? std::string(pData, static_cast<size_t>(nLen)) : std::string();
}

void printReport(const char *pstrKind, const char *pstrDevId, int nSn, const char *pData, int nLen) {
  std::printf("<<==== recv %s report, devId=[%s] sn=[%d] len=[%d] data=[%s]\n", pstrKind,
              pstrDevId != nullptr ? pstrDevId : "", nSn, nLen, dataText(pData, nLen).c_str());
}

} // namespace

void onDataReport(const char *pstrDevId, int nSn, const char *pData, int nLen, void *) {
  printReport("Data", pstrDevId, nSn, pData, nLen);
}

void onEventReport(const char *pstrDevId, int nSn, const char *pData, int nLen, void *) {
  printReport("Event", pstrDevId, nSn, pData, nLen);
}

void onStatusReport(const char *pstrDevId, int nSn, const char *pData, int nLen, void *) {
  printReport("Status", pstrDevId, nSn, pData, nLen);
}

void onCtrlAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *) {
  std::printf("do ctrl callback\n");
  std::printf("OnCtrlGate deviceId:%s sid:%d data:%s, len:%d\n", pstrDevId != nullptr ? pstrDevId : "", nSn,
              dataText(pData, nLen).c_str(), nLen);
}

void onRunModelAnswer(const char *, int nSn, const char *pData, int nLen, void *) {
  std::printf("ZTDM run model sn:[%d] data: %s, len: %d\n", nSn, dataText(pData, nLen).c_str(), nLen);
}

void onFoundDevice(const char *, int nSn, const DeviceInfo *pDevInfo, void *) {
  std::printf("OncallbackFindDevices, sessionId:%d\n", nSn);
  if (pDevInfo != nullptr) {
    foundDevices().store(*pDevInfo);
    std::printf("deviceId:%s, type:%d, vdt=[%d] deviceName:%s, pid%s\n",
                FoundDevices::field(pDevInfo->id, sizeof(pDevInfo->id)).c_str(), pDevInfo->type,
                pDevInfo->vdt, FoundDevices::field(pDevInfo->name, sizeof(pDevInfo->name)).c_str(),
                FoundDevices::field(pDevInfo->pid, sizeof(pDevInfo->pid)).c_str());
  }
  std::this_thread::sleep_for(kFoundDevicePause);
}

} // namespace zt::console
