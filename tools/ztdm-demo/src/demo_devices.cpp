#include "demo_devices.h"

#include <cstdio>
#include <cstring>

namespace zt::demo {
namespace {

// Copies at most the field size minus one, so that the field stays terminated.
void copyField(char *pField, size_t nSize, const std::string &strText) {
  std::strncpy(pField, strText.c_str(), nSize - 1);
}

std::string testDeviceId(int nVdt, int nIndex) {
  char szId[ZT_DEVICE_ID_SIZE] = {0};
  std::snprintf(szId, sizeof(szId), "%s_%02d_%05d", "Dev", nVdt, nIndex);
  return szId;
}

} // namespace

std::shared_ptr<DeviceInfo> makeDevice(const std::string &strId, int nVdt, const std::string &strName,
                                       const std::string &strPid) {
  auto pDevice = std::make_shared<DeviceInfo>();
  std::memset(pDevice.get(), 0, sizeof(DeviceInfo));
  copyField(pDevice->id, sizeof(pDevice->id), strId);
  copyField(pDevice->name, sizeof(pDevice->name), strName);
  copyField(pDevice->pid, sizeof(pDevice->pid), strPid);
  pDevice->type = nVdt;
  pDevice->vdt = nVdt;
  return pDevice;
}

DeviceInfo makeRootController(const std::string &strRootId) {
  return *makeDevice(strRootId, 0, strRootId, "0");
}

DeviceList buildTestDevices(int nVdt, int nCount, const std::string &strRootId) {
  DeviceList vecDevices;
  for (int i = 0; i < nCount; ++i) {
    if (nVdt != kAllVdt) {
      std::string strId = testDeviceId(nVdt, i);
      vecDevices.push_back(makeDevice(strId, nVdt, strId, strRootId));
      continue;
    }
    std::string strParentId = testDeviceId(0, i);
    for (int v = 0; v <= kLastTestVdt; ++v) {
      std::string strId = testDeviceId(v, i);
      vecDevices.push_back(makeDevice(strId, v, strId, v == 0 ? "0" : strParentId));
    }
  }
  return vecDevices;
}

std::string fieldText(const char *pField, size_t nSize) {
  return std::string(pField, strnlen(pField, nSize));
}

} // namespace zt::demo
