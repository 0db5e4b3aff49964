/* ztdm: the device-side SDK. A device driver creates one instance per broker, registers a table
 * of entry points per visual device type (vdt), registers its devices and test cases and pushes
 * reports; requests from applications arrive as calls of the registered entry points.
 * Plain C interface. Results: 0 success, -1 bad arguments, not published or an internal failure
 * (which is logged); no C++ exception leaves any function.
 *
 * Threads. Each instance has a network thread, which talks to the broker and only queues the
 * requests it receives, and a request thread, on which they are handled one at a time in the
 * order they arrived: every driver entry point (SetConfig, GetConfig, Ctrl, QryStatus) of the
 * instance is called on it. An entry point that blocks holds back the later requests of its
 * instance, and nothing else: reports, registrations, time-out answers and other instances go
 * on. A third thread per instance answers deferred requests when their time-out passes; it never
 * calls the driver. A request that arrives while 10000 others wait, or while 64 MiB of request
 * data waits, is dropped with a log line and never answered. The pointers an entry point
 * receives (device record, request data, output buffer and length) are valid only until it
 * returns; copy what you keep.
 * An entry point may call the report functions and ztdm_Destroy of its own instance. Every
 * function may be called from any thread. ztdm_Destroy may run while requests arrive: the
 * requests still waiting are dropped; once it returns to its caller no entry point of the
 * instance runs any more; called inside an entry point, none starts after that entry point
 * returns (the instance is then released in the background). A handle must not be used once
 * ztdm_Destroy was called for it. */
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

/* pstrAddress: "a.b.c.d:port", a dotted IPv4 address and a decimal port of 1 to 65535; host
 * names are not resolved. Null when the address is refused (the reason is logged) or the session
 * cannot be made. The connection to the broker is made in the background and retried there, so
 * a handle is returned before (and whether or not) the broker is reached. */
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
