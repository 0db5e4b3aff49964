// The library's identity (version, module record, log file) and the log set-up that must
// precede its first line.
#pragma once

namespace zt::tb {

constexpr const char *kVersion = "1.0.0";
constexpr const char *kModuleType = "ZTM2045";
constexpr const char *kModuleName = "topicbus";
// The MQTT library text of the module record names the release the library was written for.
constexpr const char *kMqttLibraryText = "mosquitto V1.6.8";
constexpr int kModuleInfoSize = 512;

// Fills the 512-byte module record: version, build time, module type, module name and the
// MQTT library text, each a zero-terminated text in a 64-byte field, the rest zero.
void fillTopicbusModuleInfo(void *pRecord);

// Gives the session log topicbus's file name, header and line format, always on at level 7
// with a 100 MiB limit. Called by every exported function before anything is logged.
void useTopicbusLog();

} // namespace zt::tb
