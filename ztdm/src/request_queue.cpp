#include "request_queue.h"

#include "ztdm_guard.h"
#include "ztdm_log.h"

#include <utility>

namespace zt::dm {

void logRequestDroppedAtDestroy(const QueuedRequest &request) {
  ZTDM_LOG_PROGRESS("Instance is being destroyed, request dropped id=[%s] cmd=[%d] sn=[%d]",
                    request.strDevId.c_str(), request.nCmd, request.nSn);
}

RequestQueue::RequestQueue(Handler fnHandle, int nThreads, bool bLanePerDevice,
                           const RequestQueueLimits &limits)
    : m_fnHandle(std::move(fnHandle)), m_bLanePerDevice(bLanePerDevice), m_limits(limits) {
  try {
    for (int i = 0; i < nThreads; ++i) {
      m_vecThreads.emplace_back(&RequestQueue::run, this);
    }
  } catch (...) {
    stop();
    throw;
  }
}

RequestQueue::~RequestQueue() {
  stop();
}

bool RequestQueue::push(QueuedRequest request) {
  bool bWake = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bClosed) {
      logRequestDroppedAtDestroy(request);
      return false;
    }
    size_t nBytes = request.strData.size();
    if (m_nWaiting >= m_limits.nMaxRequests ||
        (m_nWaiting > 0 && m_nWaitingBytes + nBytes > m_limits.nMaxBytes)) {
      ZTDM_LOG_ERROR("Request queue full, request dropped id=[%s] cmd=[%d] sn=[%d] len=[%zu] waiting=[%zu]",
                     request.strDevId.c_str(), request.nCmd, request.nSn, nBytes, m_nWaiting);
      return false;
    }
    std::string strLane = m_bLanePerDevice ? request.strDevId : std::string();
    Lane &lane = m_mapLanes[strLane];
    lane.requests.push_back(std::move(request));
    ++m_nWaiting;
    m_nWaitingBytes += nBytes;
    // A lane that is running or already waits for a thread is picked up in its turn.
    if (!lane.bRunning && lane.requests.size() == 1) {
      m_dequeReady.push_back(std::move(strLane));
      bWake = true;
    }
  }
  if (bWake) {
    m_cvReady.notify_one();
  }
  return true;
}

void RequestQueue::close() {
  size_t nDropped = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bClosed) {
      return;
    }
    m_bClosed = true;
    nDropped = m_nWaiting;
    m_nWaiting = 0;
    m_nWaitingBytes = 0;
    m_dequeReady.clear();
    for (auto it = m_mapLanes.begin(); it != m_mapLanes.end();) {
      it->second.requests.clear();
      it = it->second.bRunning ? std::next(it) : m_mapLanes.erase(it);
    }
  }
  m_cvReady.notify_all();
  m_cvIdle.notify_all();
  if (nDropped > 0) {
    ZTDM_LOG_PROGRESS("Instance is being destroyed, %zu queued requests dropped", nDropped);
  }
}

void RequestQueue::stop() {
  close();
  for (std::thread &thread : m_vecThreads) {
    if (thread.joinable()) {
      thread.join();
    }
  }
}

void RequestQueue::waitUntilIdle() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_cvIdle.wait(lock, [this] { return m_nWaiting == 0 && m_nRunning == 0; });
}

void RequestQueue::run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_cvReady.wait(lock, [this] { return m_bClosed || !m_dequeReady.empty(); });
    if (m_bClosed) {
      return;
    }
    std::string strLane = std::move(m_dequeReady.front());
    m_dequeReady.pop_front();
    Lane &lane = m_mapLanes[strLane];
    QueuedRequest request = std::move(lane.requests.front());
    lane.requests.pop_front();
    lane.bRunning = true;
    --m_nWaiting;
    m_nWaitingBytes -= request.strData.size();
    ++m_nRunning;
    lock.unlock();
    // A failing request (a driver's exception, out of memory) is logged; the thread goes on.
    ztdmGuarded("RequestQueue::run", [&] { m_fnHandle(request); });
    lock.lock();
    finishRunning(strLane);
  }
}

void RequestQueue::finishRunning(const std::string &strLane) {
  --m_nRunning;
  auto it = m_mapLanes.find(strLane);
  it->second.bRunning = false;
  if (it->second.requests.empty()) {
    m_mapLanes.erase(it);
  } else {
    m_dequeReady.push_back(strLane);
  }
  if (m_nWaiting == 0 && m_nRunning == 0) {
    m_cvIdle.notify_all();
  }
}

} // namespace zt::dm
