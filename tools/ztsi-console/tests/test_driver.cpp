#include "test_driver.h"

#include <cstring>
#include <mutex>

namespace zt::test {
namespace {

std::mutex g_mutex;
std::vector<CtrlCall> g_vecCtrlCalls;

int onCtrl(const DeviceInfo *pDevice, const char *pData, int nDataLen, char *pOut, int *pnOutLen, int nSn) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_vecCtrlCalls.push_back(CtrlCall{pDevice->id, nSn, std::string(pData, static_cast<size_t>(nDataLen))});
  }
  const char szAnswer[] = "done";
  std::memcpy(pOut, szAnswer, std::strlen(szAnswer));
  *pnOutLen = static_cast<int>(std::strlen(szAnswer));
  return 0;
}

} // namespace

TestDriver::TestDriver(int nPort) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_vecCtrlCalls.clear();
  }
  m_pHandle = ztdm_Create(("127.0.0.1:" + std::to_string(nPort)).c_str());
  DriverCallbacks callbacks{nullptr, nullptr, onCtrl, nullptr};
  ztdm_RegisterDriver(m_pHandle, kVdt, &callbacks);
  DeviceInfo device;
  std::memset(&device, 0, sizeof(device));
  std::strcpy(device.id, "D1");
  std::strcpy(device.name, "Door");
  std::strcpy(device.pid, "0");
  device.type = kVdt;
  device.vdt = kVdt;
  ztdm_RegisterDevice(m_pHandle, &device);
  const char szTestCase[] = "{\"k\":1}";
  ztdm_regTestCase(m_pHandle, 3, szTestCase, static_cast<int>(std::strlen(szTestCase)));
}

TestDriver::~TestDriver() {
  ztdm_Destroy(m_pHandle);
}

std::vector<CtrlCall> TestDriver::ctrlCalls() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_vecCtrlCalls;
}

} // namespace zt::test
