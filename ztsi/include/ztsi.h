/* ztsi: the application-side SDK. An application finds the devices that drivers announce on
 * the broker, sends them requests whose answers come back through callbacks, and receives
 * their data, status and event reports. Plain C interface.
 *
 * Results of the request functions: 0 sent, 1 not sent (unknown device or publish failure),
 * -1 bad arguments. Every callback receives the user data given to ztsi_Create; pointers
 * handed to a callback are valid only during the call. */
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

/* A device announcement: devId of the topic (null when replayed by ztsi_GetFoundDev), its sn and
 * the announced record. */
typedef void (*ztsi_found_device_callback)(const char *pstrDevId, int nSn, const DeviceInfo *pDevInfo,
                                           void *pUserData);

/* A report or the answer to a request: devId, sn, data bytes and their length. */
typedef void (*ztsi_data_callback)(const char *pstrDevId, int nSn, const char *pData, int nLen,
                                   void *pUserData);

/* pstrBroker is "a.b.c.d:port". Null when the address is invalid or the session cannot be made;
 * the connection itself is made and kept in the background. */
ZTSI_API ZtsiHandle *ztsi_Create(const char *pstrBroker, ztsi_found_device_callback pFoundCallback,
                                 void *pUserData);
/* As ztsi_Create, in run model nRunModel (0 Normal, 1 Debug). */
ZTSI_API ZtsiHandle *ztsi_CreateEx(const char *pstrBroker, ztsi_found_device_callback pFoundCallback,
                                   void *pUserData, int nRunModel);
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
 * receives its length. Valid until the next call or ztsi_Destory; null for a null handle. */
ZTSI_API const char *ztsi_GetTestCase(ZtsiHandle *pHandle, int *pnLen);

ZTSI_API void ztsi_SetStatusCallback(ZtsiHandle *pHandle, ztsi_data_callback pCallback);
ZTSI_API void ztsi_SetDataCallback(ZtsiHandle *pHandle, ztsi_data_callback pCallback);
ZTSI_API void ztsi_SetEventCallback(ZtsiHandle *pHandle, ztsi_data_callback pCallback);

#ifdef __cplusplus
}
#endif

#endif
