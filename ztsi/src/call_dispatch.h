// Hands a report or an answer to the application's callback.
#pragma once

#include "ztsi.h"

namespace zt::si {

// Codes outside 1..11 are logged and dropped, 9 is never handed over, 1 only with data; every
// other code calls pCallback (when set) with devId, sn, data, length and user data.
void dispatchCall(ztsi_data_callback pCallback, int nCmd, const char *pstrDevId, int nSn, const char *pData,
                  int nLen, void *pUserData);

} // namespace zt::si
