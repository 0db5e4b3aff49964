#include "topicbus_identity.h"

#include <cstring>
#include <mutex>
#include <string>

#include "busline_log.h"
#include "zt_common.h"

namespace zt::tb {

namespace {

const std::string &buildTime() {
  static const std::string strTime = zt::buildTimeString(__DATE__, __TIME__);
  return strTime;
}

} // namespace

void fillTopicbusModuleInfo(void *pRecord) {
  std::memset(pRecord, 0, kModuleInfoSize);
  zt::fillModuleInfo(pRecord, kVersion, buildTime(), kModuleType, kModuleName);
  char *pstrMqtt = static_cast<char *>(pRecord) + zt::kModuleInfoSize;
  std::strncpy(pstrMqtt, kMqttLibraryText, zt::kModuleInfoFieldSize - 1);
}

void useTopicbusLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    zt::bus::LogProfile profile;
    profile.strNameSuffix = "_topicbus";
    profile.strHeader = std::string(kModuleName) + " V" + kVersion + " (" + buildTime() + ")\r\n";
    profile.eFormat = zt::log::LineFormat::Standard;
    zt::bus::BuslineLog::instance().setProfile(profile);
  });
}

} // namespace zt::tb
