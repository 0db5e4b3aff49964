#include "connection_watch.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <zmq.h>

#include "zmqcpp.h"
#include "ztmq_log.h"

namespace zt::mq {

namespace {

constexpr int kWatchedEvents = ZMQ_EVENT_CONNECTED | ZMQ_EVENT_CONNECT_RETRIED | ZMQ_EVENT_HANDSHAKE_SUCCEEDED |
                               ZMQ_EVENT_HANDSHAKE_FAILED_NO_DETAIL | ZMQ_EVENT_HANDSHAKE_FAILED_PROTOCOL |
                               ZMQ_EVENT_HANDSHAKE_FAILED_AUTH | ZMQ_EVENT_DISCONNECTED;

std::string nextMonitorEndpoint() {
  static std::atomic<uint64_t> s_uNext{0};
  return "inproc://ztmq-connection-watch-" + std::to_string(++s_uNext);
}

} // namespace

ConnectionWatch::ConnectionWatch(void *pSocket) : m_pSocket(pSocket) {
  std::string strEndpoint = nextMonitorEndpoint();
  if (zmq_socket_monitor(m_pSocket, strEndpoint.c_str(), kWatchedEvents) != 0) {
    ZTMQ_LOG_WARN("ConnectionWatch zmq_socket_monitor error,zmq_errno=%d zmq_strerror=%s.", zmq_errno(),
                  zmq_strerror(zmq_errno()));
    return;
  }
  m_bMonitoring = true;
  m_pMonitor = zmq::context::newSocket(ZMQ_PAIR);
  m_bHoldsContext = true;
  if (m_pMonitor != nullptr && zmq_connect(m_pMonitor, strEndpoint.c_str()) != 0) {
    zmq_close(m_pMonitor);
    m_pMonitor = nullptr;
  }
  if (m_pMonitor == nullptr) {
    ZTMQ_LOG_WARN("ConnectionWatch no monitor socket,zmq_errno=%d zmq_strerror=%s.", zmq_errno(),
                  zmq_strerror(zmq_errno()));
  }
}

ConnectionWatch::~ConnectionWatch() {
  if (m_bMonitoring) {
    zmq_socket_monitor(m_pSocket, nullptr, 0);
  }
  if (m_pMonitor != nullptr) {
    int nLinger = 0;
    zmq_setsockopt(m_pMonitor, ZMQ_LINGER, &nLinger, sizeof nLinger);
    zmq_close(m_pMonitor);
  }
  if (m_bHoldsContext) {
    zmq::context::releaseInstance();
  }
}

int ConnectionWatch::nextEvent(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (remaining.count() <= 0) {
      return 0;
    }
    zmq_pollitem_t item{m_pMonitor, 0, ZMQ_POLLIN, 0};
    if (zmq_poll(&item, 1, long(remaining.count())) <= 0) {
      continue; // time-out (checked above) or an interrupted wait
    }
    // An event is two parts: 16-bit event and 32-bit value, then the endpoint.
    uint8_t arrHead[6] = {};
    int nLength = zmq_recv(m_pMonitor, arrHead, sizeof arrHead, 0);
    int nMore = 0;
    size_t nMoreSize = sizeof nMore;
    zmq_getsockopt(m_pMonitor, ZMQ_RCVMORE, &nMore, &nMoreSize);
    if (nMore != 0) {
      char szEndpoint[256];
      zmq_recv(m_pMonitor, szEndpoint, sizeof szEndpoint, 0);
    }
    if (nLength >= 2) {
      uint16_t uEvent;
      std::memcpy(&uEvent, arrHead, sizeof uEvent);
      return uEvent;
    }
  }
}

bool ConnectionWatch::waitForHandshake(std::chrono::milliseconds connectTimeout,
                                       std::chrono::milliseconds handshakeTimeout) {
  if (m_pMonitor == nullptr) {
    return true;
  }
  auto start = std::chrono::steady_clock::now();
  auto deadline = start + connectTimeout;
  for (;;) {
    switch (nextEvent(deadline)) {
    case ZMQ_EVENT_CONNECTED:
      deadline = start + handshakeTimeout;
      break;
    case ZMQ_EVENT_HANDSHAKE_SUCCEEDED:
      return true;
    case 0: // time-out
    case ZMQ_EVENT_CONNECT_RETRIED:
    case ZMQ_EVENT_HANDSHAKE_FAILED_NO_DETAIL:
    case ZMQ_EVENT_HANDSHAKE_FAILED_PROTOCOL:
    case ZMQ_EVENT_HANDSHAKE_FAILED_AUTH:
    case ZMQ_EVENT_DISCONNECTED:
      return false;
    default:
      break;
    }
  }
}

} // namespace zt::mq
