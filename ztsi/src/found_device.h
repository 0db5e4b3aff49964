// A device learnt from its announcement, with the fields of the announced record copied whole.
#pragma once

#include "zt_device_info.h"

#include <cstdint>
#include <string>

namespace zt::si {

struct FoundDevice {
  static constexpr size_t kOwnerKeySize = 64;

  char m_szOwnerKey[kOwnerKeySize];
  char m_szName[ZT_DEVICE_NAME_SIZE];
  char m_szPid[ZT_DEVICE_PID_SIZE];
  char m_szId[ZT_DEVICE_ID_SIZE];
  int32_t m_nType;
  int32_t m_nVdt;
  char m_szDesc[ZT_DEVICE_DESC_SIZE];
  char m_szModel[ZT_DEVICE_MODEL_SIZE];

  // Copies every text field with its full width; the owner key is cut to fit its field.
  static FoundDevice fromDeviceInfo(const DeviceInfo &devInfo, const std::string &strOwnerKey);
  // The record that ztsi_GetFoundDev hands out: id from the registry key, the rest from here.
  DeviceInfo toDeviceInfo(const std::string &strId) const;
  // A later announcement of the same device: desc and model keep their earlier values.
  void updateFrom(const FoundDevice &announced);

  std::string ownerKey() const;
  std::string pid() const;
};

} // namespace zt::si
