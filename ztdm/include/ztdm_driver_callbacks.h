/* DriverCallbacks: the table of driver entry points registered for one visual device type. */
#ifndef ZTDM_DRIVER_CALLBACKS_H
#define ZTDM_DRIVER_CALLBACKS_H

#include "zt_device_info.h"

#ifdef __cplusplus
extern "C" {
#endif

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

#ifdef __cplusplus
}
#endif

#endif
