#include "connection/ztip_callback_queue.h"

#include "log/ZTIPMyFileLog.h"
#include "api/ztip_fatal_exit.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace zt::ip {

ZtipCallbackQueue::ZtipCallbackQueue(size_t uInitialCount, bool bPriority) : m_bPriority(bPriority) {
  try {
    m_vecEntries.resize(uInitialCount);
    m_vecSpareData.reserve(kMaxSpareData);
  } catch (const std::bad_alloc &) {
    fatalExit(2222, m_bPriority ? "can't malloc priority ZTIPCALLBACKCONTEXT memory, exit(2222)"
                                : "can't malloc ZTIPCALLBACKCONTEXT memory, exit(2222)");
  }
}

uint64_t ZtipCallbackQueue::push(uint16_t uSocketId, uint16_t uServerSocketId, const ZTIP_Head_Para &head,
                                 const uint8_t *pData, uint32_t uLen, const char *pstrIp,
                                 const char *pstrPort, ZTIP_RecvCallback pCallback) {
  ZtipQueuedFrame frame;
  frame.vecData = takeSpareData();
  try {
    frame.vecData.assign(pData, pData + uLen);
    frame.strIp = pstrIp != nullptr ? pstrIp : "";
    frame.strPort = pstrPort != nullptr ? pstrPort : "";
  } catch (const std::bad_alloc &) {
    fatalExit(8888, "malloc tcp recv buff error exit(8888)");
  }
  frame.uSocketId = uSocketId;
  frame.uServerSocketId = uServerSocketId;
  frame.head = head;
  frame.pCallback = pCallback;

  uint64_t uTicket;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_vecEntries[m_uProducer].bInUse)
      grow();
    uTicket = ++m_uLastTicket;
    frame.uTicket = uTicket;
    Entry &entry = m_vecEntries[m_uProducer];
    entry.frame = std::move(frame);
    entry.bInUse = true;
    m_uProducer = (m_uProducer + 1) % m_vecEntries.size();
  }
  m_frameArrived.notify_one();
  return uTicket;
}

// Doubles a full ring. The entries are first rotated so that the oldest one is at index 0:
// simply appending new slots behind a wrapped ring would let the newest frame overtake the
// older ones stored before the producer cursor.
void ZtipCallbackQueue::grow() {
  size_t uOldCount = m_vecEntries.size();
  try {
    std::rotate(m_vecEntries.begin(), m_vecEntries.begin() + m_uConsumer, m_vecEntries.end());
    m_vecEntries.resize(uOldCount * 2);
  } catch (const std::bad_alloc &) {
    fatalExit(7777, m_bPriority ? "realloc tcp recv priority buff error exit(7777)"
                                : "realloc tcp recv buff error exit(7777)");
  }
  m_uConsumer = 0;
  m_uProducer = uOldCount;
  if (m_bPriority)
    ZTIPLog(kLogEvent, kAreaQueue, "ReallocTcpRecv_PriBuff success max_pri_buff_count:%d",
            static_cast<int>(m_vecEntries.size()));
  else
    ZTIPLog(kLogEvent, kAreaQueue, "ReallocTcpRecvBuff success max_buff_count:%d",
            static_cast<int>(m_vecEntries.size()));
}

std::vector<uint8_t> ZtipCallbackQueue::takeSpareData() {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<uint8_t> vecData;
  if (!m_vecSpareData.empty()) {
    vecData.swap(m_vecSpareData.back());
    m_vecSpareData.pop_back();
  }
  return vecData;
}

// Caller holds m_mutex.
void ZtipCallbackQueue::keepSpareData(std::vector<uint8_t> &vecData) {
  if (vecData.capacity() == 0 || vecData.capacity() > kMaxSpareCapacity ||
      m_vecSpareData.size() >= kMaxSpareData)
    return;
  m_vecSpareData.emplace_back(std::move(vecData)); // within the capacity reserved at start
}

bool ZtipCallbackQueue::pop(ZtipQueuedFrame &frame, uint64_t uMaxWaitMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_frameArrived.wait_for(lock, std::chrono::milliseconds(uMaxWaitMs),
                          [this] { return m_vecEntries[m_uConsumer].bInUse; });
  Entry &entry = m_vecEntries[m_uConsumer];
  if (!entry.bInUse)
    return false;
  keepSpareData(frame.vecData);
  frame = std::move(entry.frame);
  entry.frame = ZtipQueuedFrame();
  entry.bInUse = false;
  m_uConsumer = (m_uConsumer + 1) % m_vecEntries.size();
  return true;
}

void ZtipCallbackQueue::markDelivered(uint64_t uTicket) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uDeliveredTicket = uTicket;
  }
  m_frameDelivered.notify_all();
}

bool ZtipCallbackQueue::waitDelivered(uint64_t uTicket, uint64_t uMaxWaitMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_frameDelivered.wait_for(lock, std::chrono::milliseconds(uMaxWaitMs),
                                   [this, uTicket] { return m_uDeliveredTicket >= uTicket; });
}

size_t ZtipCallbackQueue::capacity() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vecEntries.size();
}

} // namespace zt::ip
