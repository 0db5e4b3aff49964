// The requests of an instance between the network thread, which only queues them, and the
// request threads, which run them. Requests go into lanes: one lane for the whole instance, or
// one per device. A lane runs one request at a time in arrival order; different lanes may run at
// the same time when there is more than one request thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zt::dm {

// One request as delivered by the channel, with its own copy of the devId and the payload.
struct QueuedRequest {
  std::string strDevId;
  int nSn;
  int nCmd;
  std::string strData;
};

// Logs a request that is not run because its instance is being destroyed.
void logRequestDroppedAtDestroy(const QueuedRequest &request);

struct RequestQueueLimits {
  // Requests waiting (not counting those running) before new ones are refused.
  size_t nMaxRequests = 10000;
  // Payload bytes waiting before new requests are refused; a request alone in the queue is
  // taken whatever its size.
  size_t nMaxBytes = 64 * 1024 * 1024;
};

class RequestQueue {
public:
  using Handler = std::function<void(const QueuedRequest &request)>;

  // Starts nThreads request threads that run fnHandle; with bLanePerDevice the requests of
  // different devices may run at the same time.
  RequestQueue(Handler fnHandle, int nThreads, bool bLanePerDevice,
               const RequestQueueLimits &limits = RequestQueueLimits());
  ~RequestQueue();
  RequestQueue(const RequestQueue &) = delete;
  RequestQueue &operator=(const RequestQueue &) = delete;

  // Queues a request and wakes a request thread; false (and logged) when the queue is full or
  // closed, in which case the request is dropped.
  bool push(QueuedRequest request);
  // No request starts any more: those waiting are dropped (and counted in the log), those
  // running finish. Callable from any thread, a request thread included. Idempotent.
  void close();
  // Closes and joins the request threads; not to be called on one of them.
  void stop();
  // Returns once no request waits or runs.
  void waitUntilIdle();

private:
  struct Lane {
    std::deque<QueuedRequest> requests;
    bool bRunning = false;
  };

  void run();
  // Under the mutex: the lane is done with its running request.
  void finishRunning(const std::string &strLane);

  const Handler m_fnHandle;
  const bool m_bLanePerDevice;
  const RequestQueueLimits m_limits;

  std::mutex m_mutex;
  std::condition_variable m_cvReady;
  std::condition_variable m_cvIdle;
  std::unordered_map<std::string, Lane> m_mapLanes;
  // Lanes with a waiting request and none running, in the order they became so.
  std::deque<std::string> m_dequeReady;
  size_t m_nWaiting = 0;
  size_t m_nWaitingBytes = 0;
  size_t m_nRunning = 0;
  bool m_bClosed = false;
  std::vector<std::thread> m_vecThreads;
};

} // namespace zt::dm
