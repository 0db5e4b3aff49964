// Telling the application of connections that come and go: the connection notify and,
// when its user value is not 0, the window connection notify.
#pragma once

#include <cstdint>

namespace zt::ip {

constexpr int kConnectionOutgoing = 0; // a TCP client of this process
constexpr int kConnectionAccepted = 1; // accepted by one of its servers
constexpr int kStatusDisconnected = 0;
constexpr int kStatusConnected = 1;

void notifyConnection(int nType, int nStatus, uint16_t uSocketId, const char *pstrIp, int nPort);

} // namespace zt::ip
