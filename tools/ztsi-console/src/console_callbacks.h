// What the console does with the reports, answers and device announcements that ztsi hands
// it: print them, and keep every announced device.
#pragma once

#include "ztsi.h"

namespace zt::console {

void onDataReport(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
void onEventReport(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
void onStatusReport(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
void onCtrlAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
void onRunModelAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
void onFoundDevice(const char *pstrDevId, int nSn, const DeviceInfo *pDevInfo, void *pUserData);

} // namespace zt::console
