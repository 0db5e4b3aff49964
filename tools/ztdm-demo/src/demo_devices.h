// The demo driver's device records: the list it owns, the sample devices of the test commands
// and the texts of the fixed-width record fields.
#pragma once

#include "zt_device_info.h"

#include <memory>
#include <string>
#include <vector>

namespace zt::demo {

// Records are shared with the report threads, so a list replaced by a later command stays
// alive for the threads that still report from it.
using DeviceList = std::vector<std::shared_ptr<const DeviceInfo>>;

// `vdt` -1 asks for devices of every kind 0 to 14.
constexpr int kAllVdt = -1;
constexpr int kLastTestVdt = 14;

// A zero-filled record with id and name, type = vdt, and the parent id.
std::shared_ptr<DeviceInfo> makeDevice(const std::string &strId, int nVdt, const std::string &strName,
                                       const std::string &strPid);

// The root controller: type and vdt 0, named by its id, without parent.
DeviceInfo makeRootController(const std::string &strRootId);

// The devices of the test commands, in creation order: for kAllVdt, for each index the kinds
// 0 to 14 with the kind-0 device as parent of the others; else count devices of one kind under
// the root controller. Ids and names are "Dev_<vdt 2 digits>_<index 5 digits>".
DeviceList buildTestDevices(int nVdt, int nCount, const std::string &strRootId);

// A text field of a record, which lacks its terminator when it fills the field.
std::string fieldText(const char *pField, size_t nSize);
inline std::string deviceId(const DeviceInfo &device) {
  return fieldText(device.id, sizeof(device.id));
}
inline std::string deviceName(const DeviceInfo &device) {
  return fieldText(device.name, sizeof(device.name));
}
inline std::string devicePid(const DeviceInfo &device) {
  return fieldText(device.pid, sizeof(device.pid));
}

} // namespace zt::demo
