// The exported C interface: argument checks, the mapping of handles to instances and the
// exception barrier around every function.
#include "ztdm.h"

#include "command_code.h"
#include "device_info_text.h"
#include "ztdm_guard.h"
#include "ztdm_impl.h"
#include "ztdm_log.h"
#include "ztdm_module_info.h"

#include <cstdint>

namespace {

zt::dm::ZTDMImpl *implOf(ZtdmHandle *pHandle) {
  return reinterpret_cast<zt::dm::ZTDMImpl *>(pHandle);
}

// Handles appear in the log texts as [%d]: the low bits of the address, 0 for null.
int handleNumber(const ZtdmHandle *pHandle) {
  return static_cast<int>(reinterpret_cast<intptr_t>(pHandle));
}

// One topic segment: not empty, and neither a separator nor a wildcard in it.
bool isTopicSegment(const std::string &strText) {
  return !strText.empty() && strText.find_first_of("/+#") == std::string::npos;
}

// The three report functions, each under its own name in the log and the barrier.
int report(ZtdmHandle *pHandle, const char *pstrApi, int nCmd, const char *pstrDevId, int nSn,
           const char *pData, int nLen) {
  return zt::dm::ztdmGuarded(pstrApi, -1, [&] {
    if (pHandle == nullptr) {
      ZTDM_LOG_ERROR("%s: handle == NULL.", pstrApi);
      return -1;
    }
    if (pstrDevId == nullptr || nLen < 0 || (pData == nullptr && nLen > 0)) {
      ZTDM_LOG_ERROR("%s: Invalid param devId=[%p] data=[%p] len=[%d]", pstrApi,
                     static_cast<const void *>(pstrDevId), static_cast<const void *>(pData), nLen);
      return -1;
    }
    return implOf(pHandle)->report(pstrDevId, nCmd, nSn, pData, nLen) ? 0 : -1;
  });
}

} // namespace

namespace zt::dm {

ZtdmHandle *createInstance(const char *pstrAddress, const InstanceOptions &options) {
  return reinterpret_cast<ZtdmHandle *>(ZTDMImpl::create(pstrAddress, options));
}

} // namespace zt::dm

extern "C" {

ZtdmHandle *ztdm_Create(const char *pstrAddress) {
  return zt::dm::ztdmGuarded("ztdm_Create", static_cast<ZtdmHandle *>(nullptr), [&] {
    return zt::dm::createInstance(pstrAddress, zt::dm::InstanceOptions());
  });
}

void ztdm_Destroy(ZtdmHandle *pHandle) {
  zt::dm::ztdmGuarded("ztdm_Destroy", [&] {
    if (pHandle != nullptr) {
      zt::dm::ZTDMImpl::destroy(implOf(pHandle));
    }
  });
}

int ztdm_ModuleInfo(ZtModuleInfo *pModuleInfo) {
  return zt::dm::ztdmGuarded("ztdm_ModuleInfo", -1, [&] {
    if (pModuleInfo == nullptr) {
      return -1;
    }
    zt::dm::fillZtdmModuleInfo(pModuleInfo);
    return 0;
  });
}

int ztdm_RegisterDriver(ZtdmHandle *pHandle, int nVdt, const DriverCallbacks *pCallbacks) {
  return zt::dm::ztdmGuarded("ztdm_RegisterDriver", -1, [&] {
    if (pHandle == nullptr || nVdt < 0 || pCallbacks == nullptr) {
      ZTDM_LOG_ERROR("RegisterDriver：Invalid param handle=[%d] vdt=[%d] devEx=[%p]", handleNumber(pHandle),
                     nVdt, static_cast<const void *>(pCallbacks));
      return -1;
    }
    implOf(pHandle)->registerDriver(nVdt, *pCallbacks);
    return 0;
  });
}

int ztdm_RegisterDevice(ZtdmHandle *pHandle, const DeviceInfo *pDevice) {
  return zt::dm::ztdmGuarded("ztdm_RegisterDevice", -1, [&] {
    // Both the id and a non-empty pid become topic segments; a device with a separator or a
    // wildcard in either could never be addressed.
    if (pHandle == nullptr || pDevice == nullptr || !isTopicSegment(zt::protocol::fieldText(pDevice->id)) ||
        !(pDevice->pid[0] == '\0' || isTopicSegment(zt::protocol::fieldText(pDevice->pid)))) {
      ZTDM_LOG_ERROR("ztdm_RegisterDevice: Invalid param handle=[%d] devObj=[%p].", handleNumber(pHandle),
                     static_cast<const void *>(pDevice));
      return -1;
    }
    implOf(pHandle)->registerDevice(*pDevice);
    return 0;
  });
}

int ztdm_ReportStatus(ZtdmHandle *pHandle, const char *pstrDevId, int nSn, const char *pData, int nLen) {
  return report(pHandle, "ztdm_ReportStatus", zt::protocol::kCmdReportStatus, pstrDevId, nSn, pData, nLen);
}

int ztdm_ReportData(ZtdmHandle *pHandle, const char *pstrDevId, int nSn, const char *pData, int nLen) {
  return report(pHandle, "ztdm_ReportData", zt::protocol::kCmdReportData, pstrDevId, nSn, pData, nLen);
}

int ztdm_ReportEvent(ZtdmHandle *pHandle, const char *pstrDevId, int nSn, const char *pData, int nLen) {
  return report(pHandle, "ztdm_ReportEvent", zt::protocol::kCmdReportEvent, pstrDevId, nSn, pData, nLen);
}

int ztdm_regTestCase(ZtdmHandle *pHandle, int nVdt, const char *pstrTestCase, int nLen) {
  return zt::dm::ztdmGuarded("ztdm_regTestCase", -1, [&] {
    if (pHandle == nullptr || nVdt < 0 || pstrTestCase == nullptr || nLen <= 0) {
      ZTDM_LOG_ERROR("Register TestCase：Invalid param handle=[%d] vdt=[%d] testCase=[%p] len=[%d]",
                     handleNumber(pHandle), nVdt, static_cast<const void *>(pstrTestCase), nLen);
      return -1;
    }
    return implOf(pHandle)->regTestCase(nVdt, pstrTestCase, nLen) ? 0 : -1;
  });
}

} // extern "C"
