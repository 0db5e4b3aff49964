// Library-wide state shared by the operations and the seven threads: the settings of
// ztIP_Init, the registered notifications, the three socket lists, the two callback queues
// and the timer values (shortened by tests through setTimings).
#pragma once

#include "ZTIP.h"
#include "connection/ztip_callback_queue.h"
#include "codec/ztip_frame_builder.h"
#include "connection/ztip_socket_set.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace zt::ip {

struct ZtipTimings {
  uint64_t uKeyContactTickMs = 1000; // key-contact thread period
  int nHeartbeatEveryTicks = 3;      // heartbeat walk every 3rd tick
  uint64_t uHeartbeatIdleMs = 3000;  // heartbeat when nothing was sent for this long
  int nKeyLimitEveryTicks = 40;      // key-exchange limit walk every 40th tick
  uint64_t uKeyExchangeLimitMs = 180000;
  uint64_t uRefreshTickMs = 1000;    // status refresh thread period
  int nWaitTimeoutMs = 1000;         // socket waits of the receive and listen threads
  uint64_t uConnectTimeoutMs = 3000; // TCP client connect
};

constexpr uint32_t kDefaultRecvTimeoutSeconds = 45;
constexpr size_t kNormalQueueCount = 1024;
constexpr size_t kPriorityQueueCount = 128;
// Frames with a payload of this size or more bypass the queues (they would not fit the
// callback threads' buffers) and are delivered in the TCP receive thread.
constexpr uint32_t kDirectDeliveryLen = 98273;

struct ZtipLibrary {
  std::atomic<bool> bInit{false};
  std::atomic<bool> bRun{false};
  bool bDebugMode = false;
  uint8_t uProductType = 0;
  uint8_t uSubType = 0;

  std::atomic<ZTIP_KeyResultCallback> pKeyResult{nullptr};
  // Set once the key-result callback returned 1: the key-exchange limit applies from then on.
  std::atomic<bool> bKeyLimitInForce{false};
  std::atomic<ZTIP_ConnectionNotify> pNotify{nullptr};
  std::atomic<ZTIP_WinConnectionNotify> pWinNotify{nullptr};
  std::atomic<void *> pWinNotifyUser{nullptr};

  std::atomic<uint64_t> uRecvTimeoutMs{kDefaultRecvTimeoutSeconds * 1000};

  ZtipSocketSet udpSockets;
  ZtipSocketSet serverSockets;
  ZtipSocketSet connectionSockets;
  std::unique_ptr<ZtipCallbackQueue> pNormalQueue;
  std::unique_ptr<ZtipCallbackQueue> pPriorityQueue;

  int nLogSocketId = -1; // the UDP client that broadcasts log lines, -1 when none

  FrameSender sender(bool bTcp) const { return FrameSender{uProductType, uSubType, !bDebugMode, bTcp}; }
};

ZtipLibrary &library();

const ZtipTimings &timings();
// For tests: replaces the timer values; call before ztIP_Init.
void setTimings(const ZtipTimings &values);

// For tests: the receive time-out in milliseconds (ztIP_SetTimeOutValue takes 5-60 s only).
void setRecvTimeoutMs(uint64_t uMs);

} // namespace zt::ip
