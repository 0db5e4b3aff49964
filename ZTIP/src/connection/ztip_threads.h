// The seven library threads that ztIP_Init starts and ztIP_Exit stops.
#pragma once

#include <cstdint>

namespace zt::ip {

// Starts the threads in their order: UDP receive, TCP receive, listen, key contact, status
// refresh, receive callback, priority receive callback.
void startThreads();

// Clears the run flag, wakes every wait and joins the threads in their stopping order.
void stopThreads();

// Sleeps up to uMs; returns false at once when the threads are being stopped.
bool sleepWhileRunning(uint64_t uMs);

void udpRecvThread();
void tcpRecvThread();
void listenThread();
void keyContactThread();
void statusRefreshThread();
void callbackThread(bool bPriority);

} // namespace zt::ip
