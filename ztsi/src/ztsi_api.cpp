// The exported C functions: argument checks, then the instance.
#include "ztsi.h"

#include "run_model.h"
#include "zt_common.h"
#include "ztda_impl.h"
#include "ztsi_guard.h"
#include "ztsi_log.h"

#include <cstring>
#include <memory>

using zt::si::ZtdaImpl;

namespace {

constexpr char kVersion[] = "3.1.3";
constexpr char kModuleType[] = "ZTM2042";
constexpr char kModuleName[] = "ZTSI";
// The release this build stands for.
constexpr char kCompileDate[] = "Oct 20 2021";
constexpr char kCompileTime[] = "16:07:10";

ZtdaImpl *instanceOf(ZtsiHandle *pHandle) {
  return reinterpret_cast<ZtdaImpl *>(pHandle);
}

// -1 (logged) for a null handle, a null devId or one longer than 64 characters; else 0.
int checkRequest(ZtsiHandle *pHandle, const char *pstrDevId) {
  if (pHandle == nullptr) {
    ZTSI_LOG_ERROR("handle is NULL");
    return -1;
  }
  if (pstrDevId == nullptr) {
    ZTSI_LOG_ERROR("deviceId is NULL");
    return -1;
  }
  if (strnlen(pstrDevId, zt::si::kMaxDevIdLength + 1) > zt::si::kMaxDevIdLength) {
    ZTSI_LOG_ERROR("deviceId is too long");
    return -1;
  }
  return 0;
}

void logBanner() {
  ZtModuleInfo moduleInfo;
  ztsi_ModuleInfo(&moduleInfo);
  ZTSI_LOG_INFO("ZTSI log init ");
  ZTSI_LOG_INFO("================================ ZTSI START =================================");
  ZTSI_LOG_INFO("= Type: %s", moduleInfo.szModuleType);
  ZTSI_LOG_INFO("= Name: %s", moduleInfo.szModuleName);
  ZTSI_LOG_INFO("= Version: %s", moduleInfo.szVersion);
  ZTSI_LOG_INFO("= Compile time : %s", moduleInfo.szBuildTime);
  ZTSI_LOG_INFO("=============================================================================");
}

ZtsiHandle *create(const char *pstrBroker, ztsi_found_device_callback pFoundCallback, void *pUserData,
                   int nRunModel) {
  logBanner();
  auto pImpl = std::make_unique<ZtdaImpl>(nRunModel);
  if (pImpl->init(pstrBroker, pFoundCallback, pUserData) != 0) {
    ZTSI_LOG_ERROR("Init ztsi failed!");
    return nullptr;
  }
  ZTSI_LOG_INFO("ZTSI Create success! this=[%p]", static_cast<void *>(pImpl.get()));
  return reinterpret_cast<ZtsiHandle *>(pImpl.release());
}

// The three report callback setters; pstrKind names the report in the log line.
void setReportCallback(const char *pstrFunction, const char *pstrKind,
                       void (ZtdaImpl::*pSetter)(ztsi_data_callback), ZtsiHandle *pHandle,
                       ztsi_data_callback pCallback) {
  zt::si::ztsiGuarded(pstrFunction, [&] {
    if (pHandle == nullptr) {
      ZTSI_LOG_ERROR("handle is NULL");
      return;
    }
    (instanceOf(pHandle)->*pSetter)(pCallback);
    ZTSI_LOG_INFO("ztsi set %s callback func=[%p] this=[%p] .", pstrKind, reinterpret_cast<void *>(pCallback),
                  static_cast<void *>(pHandle));
  });
}

} // namespace

extern "C" {

ZtsiHandle *ztsi_Create(const char *pstrBroker, ztsi_found_device_callback pFoundCallback, void *pUserData) {
  return zt::si::ztsiGuarded("ztsi_Create", static_cast<ZtsiHandle *>(nullptr), [&]() -> ZtsiHandle * {
    return create(pstrBroker, pFoundCallback, pUserData, zt::protocol::kRunModelNormal);
  });
}

ZtsiHandle *ztsi_CreateEx(const char *pstrBroker, ztsi_found_device_callback pFoundCallback, void *pUserData,
                          int nRunModel) {
  return zt::si::ztsiGuarded("ztsi_CreateEx", static_cast<ZtsiHandle *>(nullptr), [&]() -> ZtsiHandle * {
    return create(pstrBroker, pFoundCallback, pUserData, nRunModel);
  });
}

void ztsi_Destory(ZtsiHandle *pHandle) {
  zt::si::ztsiGuarded("ztsi_Destory", [&] {
    if (pHandle == nullptr) {
      ZTSI_LOG_ERROR("handle is NULL");
      return;
    }
    ZtdaImpl::destroy(instanceOf(pHandle));
  });
}

int ztsi_ModuleInfo(ZtModuleInfo *pModuleInfo) {
  return zt::si::ztsiGuarded("ztsi_ModuleInfo", -1, [&]() -> int {
    if (pModuleInfo == nullptr) {
      return -1;
    }
    zt::fillModuleInfo(pModuleInfo, kVersion, zt::buildTimeString(kCompileDate, kCompileTime), kModuleType,
                       kModuleName);
    return 0;
  });
}

int ztsi_FindDevices(ZtsiHandle *pHandle, const char *pstrDevId, int nSn, ztsi_found_device_callback) {
  return zt::si::ztsiGuarded("ztsi_FindDevices", -1, [&]() -> int {
    if (checkRequest(pHandle, pstrDevId) != 0) {
      return -1;
    }
    return instanceOf(pHandle)->findDevices(pstrDevId, nSn);
  });
}

int ztsi_GetFoundDev(ZtsiHandle *pHandle, ztsi_found_device_callback pCallback) {
  return zt::si::ztsiGuarded("ztsi_GetFoundDev", -1, [&]() -> int {
    if (pHandle == nullptr) {
      ZTSI_LOG_ERROR("handle is NULL");
      return -1;
    }
    return instanceOf(pHandle)->getFoundDev(pCallback);
  });
}

int ztsi_SetParam(ZtsiHandle *pHandle, const char *pstrDevId, int nSn, const char *pData, int nLen,
                  ztsi_data_callback pResponseCallback) {
  return zt::si::ztsiGuarded("ztsi_SetParam", -1, [&]() -> int {
    if (checkRequest(pHandle, pstrDevId) != 0) {
      return -1;
    }
    return instanceOf(pHandle)->setParam(pstrDevId, nSn, pData, nLen, pResponseCallback);
  });
}

int ztsi_GetParam(ZtsiHandle *pHandle, const char *pstrDevId, int nSn, ztsi_data_callback pResponseCallback) {
  return zt::si::ztsiGuarded("ztsi_GetParam", -1, [&]() -> int {
    if (checkRequest(pHandle, pstrDevId) != 0) {
      return -1;
    }
    return instanceOf(pHandle)->getParam(pstrDevId, nSn, pResponseCallback);
  });
}

int ztsi_Ctrl(ZtsiHandle *pHandle, const char *pstrDevId, int nSn, const char *pData, int nLen,
              ztsi_data_callback pResponseCallback) {
  return zt::si::ztsiGuarded("ztsi_Ctrl", -1, [&]() -> int {
    if (checkRequest(pHandle, pstrDevId) != 0) {
      return -1;
    }
    return instanceOf(pHandle)->ctrl(pstrDevId, nSn, pData, nLen, pResponseCallback);
  });
}

int ztsi_QryStatus(ZtsiHandle *pHandle, const char *pstrDevId, int nSn,
                   ztsi_data_callback pResponseCallback) {
  return zt::si::ztsiGuarded("ztsi_QryStatus", -1, [&]() -> int {
    if (checkRequest(pHandle, pstrDevId) != 0) {
      return -1;
    }
    return instanceOf(pHandle)->qryStatus(pstrDevId, nSn, pResponseCallback);
  });
}

int ztsi_SetRunModel(ZtsiHandle *pHandle, const char *pstrDevId, int nSn, int nRunModel,
                     ztsi_data_callback pResponseCallback) {
  return zt::si::ztsiGuarded("ztsi_SetRunModel", -1, [&]() -> int {
    if (checkRequest(pHandle, pstrDevId) != 0) {
      return -1;
    }
    return instanceOf(pHandle)->setDeviceModel(pstrDevId, nSn, nRunModel, pResponseCallback);
  });
}

int ztsi_GetRunModel(ZtsiHandle *pHandle, const char *pstrDevId, int nSn,
                     ztsi_data_callback pResponseCallback) {
  return zt::si::ztsiGuarded("ztsi_GetRunModel", -1, [&]() -> int {
    if (checkRequest(pHandle, pstrDevId) != 0) {
      return -1;
    }
    return instanceOf(pHandle)->qryDeviceModel(pstrDevId, nSn, pResponseCallback);
  });
}

const char *ztsi_GetTestCase(ZtsiHandle *pHandle, int *pnLen) {
  return zt::si::ztsiGuarded("ztsi_GetTestCase", static_cast<const char *>(nullptr), [&]() -> const char * {
    if (pHandle == nullptr) {
      ZTSI_LOG_ERROR("handle is NULL");
      return nullptr;
    }
    return instanceOf(pHandle)->getTestCase(pnLen);
  });
}

void ztsi_SetStatusCallback(ZtsiHandle *pHandle, ztsi_data_callback pCallback) {
  setReportCallback("ztsi_SetStatusCallback", "status", &ZtdaImpl::setStatusCallback, pHandle, pCallback);
}

void ztsi_SetDataCallback(ZtsiHandle *pHandle, ztsi_data_callback pCallback) {
  setReportCallback("ztsi_SetDataCallback", "data", &ZtdaImpl::setDataCallback, pHandle, pCallback);
}

void ztsi_SetEventCallback(ZtsiHandle *pHandle, ztsi_data_callback pCallback) {
  setReportCallback("ztsi_SetEventCallback", "event", &ZtdaImpl::setEventCallback, pHandle, pCallback);
}

} // extern "C"
