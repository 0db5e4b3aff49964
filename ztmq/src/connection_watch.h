// Watches the first connection a sending socket makes to a tcp peer. The reachability probe may
// only go out once ZeroMQ has completed its handshake with the peer, which on a loaded machine
// takes longer than the probe's time-out; a refused or unanswered connection is known as early.
#pragma once

#include <chrono>
#include <string>

namespace zt::mq {

class ConnectionWatch {
public:
  // Starts watching pSocket, which is about to connect. A watch that cannot be set up (no
  // socket left) waits for nothing.
  explicit ConnectionWatch(void *pSocket);
  ~ConnectionWatch();
  ConnectionWatch(const ConnectionWatch &) = delete;
  ConnectionWatch &operator=(const ConnectionWatch &) = delete;

  // True once the handshake succeeded. False when the connection is refused or not made within
  // connectTimeout, or its handshake does not succeed within handshakeTimeout of the start.
  bool waitForHandshake(std::chrono::milliseconds connectTimeout, std::chrono::milliseconds handshakeTimeout);

private:
  // The next event, or 0 when none came before the deadline.
  int nextEvent(std::chrono::steady_clock::time_point deadline);

  void *m_pSocket;
  bool m_bMonitoring = false;
  void *m_pMonitor = nullptr; // the PAIR socket the events arrive on
  bool m_bHoldsContext = false;
};

} // namespace zt::mq
