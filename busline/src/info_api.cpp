// Information and log-setting functions.
#include <cstdio>
#include <cstring>
#include <vector>

#include "adapters.h"
#include "busline.h"
#include "busline_boundary.h"
#include "busline_log.h"
#include "version_info.h"
#include "zt_common.h"

extern "C" {

int nm_get_moduleinfo(ZtModuleInfo *pModuleInfo) {
  return zt::bus::guarded("nm_get_moduleinfo", -2, [&] {
    if (pModuleInfo == nullptr) {
      return -2;
    }
    zt::fillModuleInfo(pModuleInfo, zt::bus::kSdkVersion, zt::bus::buildTime(), zt::bus::kModuleType,
                       zt::bus::kModuleName);
    return 0;
  });
}

const char *nm_get_sdk_version(void) {
  return zt::bus::guarded("nm_get_sdk_version", static_cast<const char *>(nullptr), [&] {
    return zt::bus::sdkVersionText();
  });
}

const char *nm_get_mqtt_version(void) {
  return zt::bus::guarded("nm_get_mqtt_version", static_cast<const char *>(nullptr), [&] {
    return zt::bus::mqttVersionText();
  });
}

int nm_get_mac_addr_by_netname(char *pstrMac, const char *pstrNetName) {
  return zt::bus::guarded("nm_get_mac_addr_by_netname", -5, [&] {
    if (pstrMac == nullptr) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "nm_get_mac_addr_by_netname pstrMac is NULL.");
      return -1;
    }
    std::vector<zt::platform::Adapter> vecAdapters;
    int nRet = zt::platform::listAdapters(vecAdapters);
    if (nRet != 0) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "nm_get_mac_addr_by_netname GetAdaptersInfo fail,nRet:%d.", nRet);
      return -5;
    }
    bool bAnyName = pstrNetName == nullptr || pstrNetName[0] == '\0';
    for (size_t nIndex = 0; nIndex < vecAdapters.size(); ++nIndex) {
      const zt::platform::Adapter &adapter = vecAdapters[nIndex];
      BUSLINE_LOG(zt::log::LOG_DEBUG, "nm_get_mac_addr_by_netname nIndex:%d,Description:%s.", int(nIndex),
                  adapter.strName.c_str());
      if (bAnyName || adapter.strName == pstrNetName) {
        const auto &mac = adapter.mac;
        std::snprintf(pstrMac, 18, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                      mac[5]);
        BUSLINE_LOG(zt::log::LOG_DEBUG, "nm_get_mac_addr_by_netname find pstrMac:%s,nIndex:%d.", pstrMac,
                    int(nIndex));
        return 0;
      }
    }
    return -6;
  });
}

void nm_set_log_func(nm_log_callback pCallback) {
  zt::bus::guarded("nm_set_log_func", [&] {
    zt::bus::BuslineLog::instance().setCallback(pCallback);
  });
}

void nm_set_log_file(const char *pstrDir, const char *pstrName) {
  zt::bus::guarded("nm_set_log_file", [&] {
    zt::bus::BuslineLog::instance().setFile(pstrDir, pstrName);
  });
}

void nm_set_log_size(int nSizeMiB) {
  zt::bus::guarded("nm_set_log_size", [&] {
    zt::bus::BuslineLog::instance().setSize(nSizeMiB);
  });
}

void nm_set_log_type(int nEnable, int nLevel) {
  zt::bus::guarded("nm_set_log_type", [&] {
    zt::bus::BuslineLog::instance().setType(nEnable, nLevel);
  });
}

} // extern "C"
