#include "found_device.h"

#include "device_info_text.h"

#include <algorithm>
#include <cstring>

namespace zt::si {

FoundDevice FoundDevice::fromDeviceInfo(const DeviceInfo &devInfo, const std::string &strOwnerKey) {
  FoundDevice device;
  memset(&device, 0, sizeof(device));
  strncpy(device.m_szOwnerKey, strOwnerKey.c_str(), kOwnerKeySize - 1);
  memcpy(device.m_szName, devInfo.name, sizeof(device.m_szName));
  memcpy(device.m_szPid, devInfo.pid, sizeof(device.m_szPid));
  // The device side stores an empty pid as "0" and builds its topics with it; so must we, or the
  // device could neither be addressed nor have its reports subscribed.
  if (device.m_szPid[0] == '\0') {
    device.m_szPid[0] = '0';
  }
  memcpy(device.m_szId, devInfo.id, sizeof(device.m_szId));
  device.m_nType = devInfo.type;
  device.m_nVdt = devInfo.vdt;
  memcpy(device.m_szDesc, devInfo.desc, sizeof(device.m_szDesc));
  memcpy(device.m_szModel, devInfo.model, sizeof(device.m_szModel));
  return device;
}

DeviceInfo FoundDevice::toDeviceInfo(const std::string &strId) const {
  DeviceInfo devInfo;
  memset(&devInfo, 0, sizeof(devInfo));
  memcpy(devInfo.id, strId.data(), std::min(strId.size(), sizeof(devInfo.id)));
  memcpy(devInfo.name, m_szName, sizeof(devInfo.name));
  memcpy(devInfo.pid, m_szPid, sizeof(devInfo.pid));
  devInfo.type = m_nType;
  devInfo.vdt = m_nVdt;
  memcpy(devInfo.desc, m_szDesc, sizeof(devInfo.desc));
  memcpy(devInfo.model, m_szModel, sizeof(devInfo.model));
  return devInfo;
}

void FoundDevice::updateFrom(const FoundDevice &announced) {
  memcpy(m_szOwnerKey, announced.m_szOwnerKey, sizeof(m_szOwnerKey));
  memcpy(m_szName, announced.m_szName, sizeof(m_szName));
  memcpy(m_szPid, announced.m_szPid, sizeof(m_szPid));
  memcpy(m_szId, announced.m_szId, sizeof(m_szId));
  m_nType = announced.m_nType;
  m_nVdt = announced.m_nVdt;
}

std::string FoundDevice::ownerKey() const {
  return protocol::fieldText(m_szOwnerKey);
}

std::string FoundDevice::pid() const {
  return protocol::fieldText(m_szPid);
}

} // namespace zt::si
