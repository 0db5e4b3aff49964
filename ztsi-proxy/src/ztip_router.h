// ZTIP is one library per process with plain callbacks that carry no user value. The router
// shares it between the link objects of the process (at most one in client mode and one in
// server mode; a test runs both): the first attach starts the library, the last detach ends
// it, and received frames and connection notices go to the object of their side.
#pragma once

#include "ZTIP.h"

namespace zt::proxy {

class ZtipHandle;

namespace ztip_router {

// Starts ZTIP when it is the first object; returns ztIP_Init's result (0x01 when it ran
// before for another object).
uint8_t attach(ZtipHandle *pHandle, bool bServerMode);
// Stops routing to the object; ends ZTIP when it was the last one.
void detach(ZtipHandle *pHandle);

// The receive callback handed to ztIP_StartTCPClient and ztIP_StartTCPServer.
void onReceive(uint16_t uSocketId, uint16_t uServerSocketId, ZTIP_Head_Para head, uint32_t uDataLen,
               const uint8_t *pData, const char *pstrIp, const char *pstrPort);

} // namespace ztip_router
} // namespace zt::proxy
