/* ztdm: the device-side SDK. A device driver creates one instance per broker, registers a table
 * of entry points per visual device type (vdt), registers its devices and test cases and pushes
 * reports; requests from applications arrive as calls of the registered entry points.
 * Plain C interface. Results: 0 success, -1 bad arguments or not published. */
#ifndef ZTDM_H
#define ZTDM_H

#include "zt_device_info.h"
#include "zt_module_info.h"
#include "ztdm_driver_callbacks.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ZTDM_API __attribute__((visibility("default")))

/* Opaque instance handle. */
typedef struct ZtdmHandle ZtdmHandle;

/* pstrAddress: "a.b.c.d:port". Null when the address is invalid or the session cannot be made. */
ZTDM_API ZtdmHandle *ztdm_Create(const char *pstrAddress);
ZTDM_API void ztdm_Destroy(ZtdmHandle *pHandle);
/* Fills version "3.1.3", build time, type "ZTM2042" and name "ZTDM". */
ZTDM_API int ztdm_ModuleInfo(ZtModuleInfo *pModuleInfo);
ZTDM_API int ztdm_RegisterDriver(ZtdmHandle *pHandle, int nVdt, const DriverCallbacks *pCallbacks);
ZTDM_API int ztdm_RegisterDevice(ZtdmHandle *pHandle, const DeviceInfo *pDevice);
/* nSn of 0 or less draws a fresh sequence number. */
ZTDM_API int ztdm_ReportStatus(ZtdmHandle *pHandle, const char *pstrDevId, int nSn, const char *pData,
                               int nLen);
ZTDM_API int ztdm_ReportData(ZtdmHandle *pHandle, const char *pstrDevId, int nSn, const char *pData,
                             int nLen);
ZTDM_API int ztdm_ReportEvent(ZtdmHandle *pHandle, const char *pstrDevId, int nSn, const char *pData,
                              int nLen);
ZTDM_API int ztdm_regTestCase(ZtdmHandle *pHandle, int nVdt, const char *pstrTestCase, int nLen);

#ifdef __cplusplus
}
#endif

#endif
