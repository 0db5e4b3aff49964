/* ztdm: the device-side SDK. A device driver creates one instance per broker, registers a table
 * of entry points per visual device type (vdt), registers its devices and test cases and pushes
 * reports; requests from applications arrive as calls of the registered entry points.
 * Plain C interface. Results: 0 success, -1 bad arguments or not published. */
#ifndef ZTDM_H
#define ZTDM_H

#include "zt_device_info.h"
#include "zt_module_info.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ZTDM_API __attribute__((visibility("default")))

/* Opaque instance handle. */
typedef struct ZtdmHandle ZtdmHandle;

/* Driver entry points. Each receives the library's stored record of the addressed device first
 * and the request's sequence number last. Results: 0 success; more than 100 defers the answer
 * (the value is a time-out in milliseconds, after which a time-out answer is sent); anything
 * else is a failure code sent back as it is. Output lengths hold the buffer size on entry and
 * receive the number of bytes written. */
typedef int (*ZtdmSetConfigFunc)(const DeviceInfo *pDevice, const char *pData, int nDataLen, int nSn);
typedef int (*ZtdmGetConfigFunc)(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn);
typedef int (*ZtdmCtrlFunc)(const DeviceInfo *pDevice, const char *pData, int nDataLen, char *pOut,
                            int *pnOutLen, int nSn);
typedef int (*ZtdmQryStatusFunc)(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn);

/* The table of one visual device type; entries may be left null (such requests are answered
 * with code -2). */
typedef struct DriverCallbacks {
  ZtdmSetConfigFunc SetConfig;
  ZtdmGetConfigFunc GetConfig;
  ZtdmCtrlFunc Ctrl;
  ZtdmQryStatusFunc QryStatus;
} DriverCallbacks;

/* pstrAddress: "a.b.c.d:port". Null when the address is invalid or the session cannot be made. */
ZTDM_API ZtdmHandle *ztdm_Create(const char *pstrAddress);
ZTDM_API void ztdm_Destroy(ZtdmHandle *pHandle);
/* Fills version "3.1.3", build time, type "ZTM2042" and name "ZTDM". */
ZTDM_API int ztdm_ModuleInfo(ZtModuleInfo *pModuleInfo);
ZTDM_API int ztdm_RegisterDriver(ZtdmHandle *pHandle, int nVdt, const DriverCallbacks *pCallbacks);
ZTDM_API int ztdm_RegisterDevice(ZtdmHandle *pHandle, const DeviceInfo *pDevice);
/* nSn of 0 or less draws a fresh sequence number. */
ZTDM_API int ztdm_ReportStatus(ZtdmHandle *pHandle, const char *pstrDevId, int nSn, const char *pData, int nLen);
ZTDM_API int ztdm_ReportData(ZtdmHandle *pHandle, const char *pstrDevId, int nSn, const char *pData, int nLen);
ZTDM_API int ztdm_ReportEvent(ZtdmHandle *pHandle, const char *pstrDevId, int nSn, const char *pData, int nLen);
ZTDM_API int ztdm_regTestCase(ZtdmHandle *pHandle, int nVdt, const char *pstrTestCase, int nLen);

#ifdef __cplusplus
}
#endif

#endif
