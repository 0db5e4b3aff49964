#include "connection/ztip_threads.h"

#include "api/ztip_library.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace zt::ip {
namespace {

std::mutex g_stopLock;
std::condition_variable g_stopSignal;

std::thread g_udpRecv, g_tcpRecv, g_listen, g_keyContact, g_statusRefresh, g_callback, g_priorityCallback;

} // namespace

void startThreads() {
  library().bRun = true;
  g_udpRecv = std::thread(udpRecvThread);
  g_tcpRecv = std::thread(tcpRecvThread);
  g_listen = std::thread(listenThread);
  g_keyContact = std::thread(keyContactThread);
  g_statusRefresh = std::thread(statusRefreshThread);
  g_callback = std::thread(callbackThread, false);
  g_priorityCallback = std::thread(callbackThread, true);
}

void stopThreads() {
  ZtipLibrary &lib = library();
  {
    std::lock_guard<std::mutex> lock(g_stopLock);
    lib.bRun = false;
  }
  g_stopSignal.notify_all();
  lib.udpSockets.wake();
  lib.serverSockets.wake();
  lib.connectionSockets.wake();
  for (std::thread *pThread :
       {&g_udpRecv, &g_callback, &g_priorityCallback, &g_tcpRecv, &g_listen, &g_keyContact, &g_statusRefresh})
    if (pThread->joinable())
      pThread->join();
}

bool sleepWhileRunning(uint64_t uMs) {
  std::unique_lock<std::mutex> lock(g_stopLock);
  return !g_stopSignal.wait_for(lock, std::chrono::milliseconds(uMs), [] { return !library().bRun; });
}

} // namespace zt::ip
