#include "version_info.h"

#include <mosquitto.h>
#include <string>

#include "zt_common.h"

namespace zt::bus {

const char *buildTime() {
  static const std::string strTime = zt::buildTimeString(__DATE__, __TIME__);
  return strTime.c_str();
}

const char *sdkVersionText() {
  static const std::string strText = std::string(kModuleName) + " V" + kSdkVersion + " (" + buildTime() + ")";
  return strText.c_str();
}

const char *mqttVersionText() {
  static const std::string strText = [] {
    int nMajor = 0, nMinor = 0, nRevision = 0;
    mosquitto_lib_version(&nMajor, &nMinor, &nRevision);
    return "mosquitto v" + std::to_string(nMajor) + "." + std::to_string(nMinor) + "." +
           std::to_string(nRevision);
  }();
  return strText.c_str();
}

} // namespace zt::bus
