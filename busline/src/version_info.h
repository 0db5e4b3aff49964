// The library's identity: version, module type and name, and the version texts.
#pragma once

namespace zt::bus {

constexpr const char *kSdkVersion = "1.1.3";
constexpr const char *kModuleType = "ZTM2044";
constexpr const char *kModuleName = "busline";

// "2021-04-14 10:53:56" style build time of this library.
const char *buildTime();
// "busline V1.1.3 (<build time>)".
const char *sdkVersionText();
// "mosquitto v<major>.<minor>.<revision>" of the MQTT library in use.
const char *mqttVersionText();

} // namespace zt::bus
