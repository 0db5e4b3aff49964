// The sample JSON bodies of the demo driver's status, data and event reports and of its
// status answers.
#pragma once

#include "zt_device_info.h"

#include <json/json.h>
#include <optional>
#include <string>

namespace zt::demo {

// {"devId": <id>, "onOffline": 1, "diyStatus": 0}
Json::Value subDevStatus(const std::string &strDevId);

// The status report of a device; none for a vdt outside 0 to 15.
std::optional<Json::Value> statusBody(const DeviceInfo &device);

// The data report of a device; only vdt 5, 9, 14, 15 and 16 have one.
std::optional<Json::Value> dataBody(const DeviceInfo &device);

// The event report, the same sample for every vdt.
Json::Value eventBody(const DeviceInfo &device);

// The text of a value as JsonCpp's styled writer writes it.
std::string styledText(const Json::Value &value);

} // namespace zt::demo
