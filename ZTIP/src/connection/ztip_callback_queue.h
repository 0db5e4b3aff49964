// A queue of received frames waiting for their receive callback. The entries live in an
// array that doubles when full; a producer cursor and a consumer cursor walk it in a ring
// so that frames of one connection come out in the order they went in. Every frame gets a
// ticket, counting up from 1; the consumer reports each ticket once its callback returned,
// so the receive thread can hold back a frame it delivers itself until the frames queued
// before it were delivered.
#pragma once

#include "ZTIP.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zt::ip {

struct ZtipQueuedFrame {
  uint16_t uSocketId = 0;
  uint16_t uServerSocketId = 0;
  ZTIP_Head_Para head{};
  std::vector<uint8_t> vecData;
  std::string strIp;
  std::string strPort;
  ZTIP_RecvCallback pCallback = nullptr; // null for key-exchange frames
  uint64_t uTicket = 0;
};

class ZtipCallbackQueue {
public:
  // bPriority only selects the texts of the log lines and exits.
  ZtipCallbackQueue(size_t uInitialCount, bool bPriority);

  // Stores a copy of the frame and returns its ticket. Ends the process (7777/8888) when
  // memory runs out.
  uint64_t push(uint16_t uSocketId, uint16_t uServerSocketId, const ZTIP_Head_Para &head,
                const uint8_t *pData, uint32_t uLen, const char *pstrIp, const char *pstrPort,
                ZTIP_RecvCallback pCallback);

  // Moves the next frame into frame, waiting up to uMaxWaitMs for one to arrive; false
  // when none came. The data copy that frame held before is kept for reuse.
  bool pop(ZtipQueuedFrame &frame, uint64_t uMaxWaitMs);

  // Called by the consumer once the callback of the frame with this ticket returned.
  void markDelivered(uint64_t uTicket);

  // Waits up to uMaxWaitMs until the frame with this ticket and all before it were delivered.
  bool waitDelivered(uint64_t uTicket, uint64_t uMaxWaitMs);

  size_t capacity() const;

private:
  struct Entry {
    bool bInUse = false;
    ZtipQueuedFrame frame;
  };

  void grow();

  // Data copies of frames already delivered, kept for the next frames: a fresh allocation of
  // tens of kilobytes per frame costs the receive thread more than the copy itself.
  static constexpr size_t kMaxSpareData = 4;
  static constexpr size_t kMaxSpareCapacity = 0x18000;
  std::vector<uint8_t> takeSpareData();
  void keepSpareData(std::vector<uint8_t> &vecData);

  mutable std::mutex m_mutex;
  std::condition_variable m_frameArrived;
  std::condition_variable m_frameDelivered;
  std::vector<Entry> m_vecEntries;
  size_t m_uProducer = 0;
  size_t m_uConsumer = 0;
  uint64_t m_uLastTicket = 0;
  uint64_t m_uDeliveredTicket = 0;
  std::vector<std::vector<uint8_t>> m_vecSpareData;
  bool m_bPriority;
};

} // namespace zt::ip
