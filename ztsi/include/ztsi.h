/* ztsi: the application-side SDK. An application finds the devices that drivers announce on
 * the broker, sends them requests whose answers come back through callbacks, and receives
 * their data, status and event reports. Plain C interface.
 *
 * Results of the request functions: 0 sent, 1 not sent (unknown device or publish failure),
 * -1 bad arguments. Every callback receives the user data given to ztsi_Create. No function lets
 * an error escape other than through its result (-1, null or nothing); the cause is logged.
 *
 * Threads. Each instance has two threads of its own besides the application's:
 * - the network thread (one per instance, kept by the transport library) calls the found-device
 *   callback and the status, data and event callbacks;
 * - the delivery thread calls the response callbacks given to the requests.
 * ztsi_GetFoundDev calls its callback on the calling thread before it returns. A callback that
 * blocks holds up every later callback of its thread: announcements and reports behind a found-
 * device or report callback, answers behind a response callback.
 *
 * What a callback may call: every function of its own instance, requests included, and
 * ztsi_Destory of its own instance; it must not use the handle after destroying it.
 *
 * Pointers handed to a callback (devId, data, DeviceInfo) are valid only during the call; copy
 * what you keep.
 *
 * Any thread may call any function, also at the same time, except that a handle must not be used
 * once ztsi_Destory has been called on it, and that the text of ztsi_GetTestCase is replaced by the
 * next call from any thread. The report callback setters may be called at any time and take effect
 * with the next report. */
#ifndef ZTSI_H
#define ZTSI_H

#include "zt_device_info.h"
#include "zt_module_info.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ZTSI_API __attribute__((visibility("default")))

/* Opaque instance handle. */
typedef struct ZtsiHandle ZtsiHandle;

/* A device announcement, once per announcement sent: devId of the topic (null when replayed by
 * ztsi_GetFoundDev), its sn and the announced record. */
typedef void (*ztsi_found_device_callback)(const char *pstrDevId, int nSn, const DeviceInfo *pDevInfo,
                                           void *pUserData);

/* A report or the answer to a request: devId, sn, data bytes and their length. */
typedef void (*ztsi_data_callback)(const char *pstrDevId, int nSn, const char *pData, int nLen,
                                   void *pUserData);

/* pstrBroker is "a.b.c.d:port": a dotted IPv4 address and a port of 1 to 65535; host names are not
 * resolved. Null only when the address is refused (the reason is logged) or the session cannot be
 * made. The connection is made, and made again after a loss, in the background: the handle is
 * returned before the broker is reached. */
ZTSI_API ZtsiHandle *ztsi_Create(const char *pstrBroker, ztsi_found_device_callback pFoundCallback,
                                 void *pUserData);
/* As ztsi_Create, in run model nRunModel (0 Normal, 1 Debug). */
ZTSI_API ZtsiHandle *ztsi_CreateEx(const char *pstrBroker, ztsi_found_device_callback pFoundCallback,
                                   void *pUserData, int nRunModel);
/* Ends the instance: no callback of it starts once this is called. From outside the instance's
 * callbacks it returns after every running callback has returned and the instance is freed. From
 * inside one of its callbacks (any kind) it returns at once; the instance is then freed on a thread
 * of its own after that callback has returned, and callbacks still running on the instance's other
 * thread finish before this call returns. Do not hold a lock that the callbacks take while
 * calling it. */
ZTSI_API void ztsi_Destory(ZtsiHandle *pHandle);
/* 0; -1 for a null pointer. */
ZTSI_API int ztsi_ModuleInfo(ZtModuleInfo *pModuleInfo);

/* Asks every device side to announce its devices; the answers arrive through the found-device
 * callback given to ztsi_Create (pIgnored is not used). nSn 0 draws a fresh one. */
ZTSI_API int ztsi_FindDevices(ZtsiHandle *pHandle, const char *pstrDevId, int nSn,
                              ztsi_found_device_callback pIgnored);
/* Replays every known device to pCallback (devId null, sn 1) and returns 0; with no device known
 * it sends a discovery instead (0 sent, 1 not sent). -1 for a null handle. */
ZTSI_API int ztsi_GetFoundDev(ZtsiHandle *pHandle, ztsi_found_device_callback pCallback);

ZTSI_API int ztsi_SetParam(ZtsiHandle *pHandle, const char *pstrDevId, int nSn, const char *pData, int nLen,
                           ztsi_data_callback pResponseCallback);
ZTSI_API int ztsi_GetParam(ZtsiHandle *pHandle, const char *pstrDevId, int nSn,
                           ztsi_data_callback pResponseCallback);
ZTSI_API int ztsi_Ctrl(ZtsiHandle *pHandle, const char *pstrDevId, int nSn, const char *pData, int nLen,
                       ztsi_data_callback pResponseCallback);
ZTSI_API int ztsi_QryStatus(ZtsiHandle *pHandle, const char *pstrDevId, int nSn,
                            ztsi_data_callback pResponseCallback);
ZTSI_API int ztsi_SetRunModel(ZtsiHandle *pHandle, const char *pstrDevId, int nSn, int nRunModel,
                              ztsi_data_callback pResponseCallback);
ZTSI_API int ztsi_GetRunModel(ZtsiHandle *pHandle, const char *pstrDevId, int nSn,
                              ztsi_data_callback pResponseCallback);

/* The JSON array [{"vdt":"<vdt>","testCase":<value>},...] of the announced test cases; *pnLen
 * receives its length. Valid until the next call (from any thread) or ztsi_Destory; null for a
 * null handle. */
ZTSI_API const char *ztsi_GetTestCase(ZtsiHandle *pHandle, int *pnLen);

ZTSI_API void ztsi_SetStatusCallback(ZtsiHandle *pHandle, ztsi_data_callback pCallback);
ZTSI_API void ztsi_SetDataCallback(ZtsiHandle *pHandle, ztsi_data_callback pCallback);
ZTSI_API void ztsi_SetEventCallback(ZtsiHandle *pHandle, ztsi_data_callback pCallback);

#ifdef __cplusplus
}
#endif

#endif
