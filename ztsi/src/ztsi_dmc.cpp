#include "ztsi_dmc.h"

#include "device_info_text.h"

namespace zt::si {

void ZtsiDmc::addDevice(const FoundDevice &device) {
  if (device.ownerKey().empty()) {
    return;
  }
  std::string strId = protocol::fieldText(device.m_szId);
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapDevices.find(strId);
  if (it == m_mapDevices.end()) {
    m_mapDevices.emplace(strId, device);
  } else {
    it->second.updateFrom(device);
  }
}

std::optional<FoundDevice> ZtsiDmc::findDevice(const std::string &strDevId) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapDevices.find(strDevId);
  if (it == m_mapDevices.end()) {
    return std::nullopt;
  }
  return it->second;
}

std::map<std::string, FoundDevice> ZtsiDmc::snapshot() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_mapDevices;
}

} // namespace zt::si
