// A loopback TCP relay that a test controls: it listens on a free port of 127.0.0.1 and
// forwards every connection it accepts to a target port there, byte for byte in both
// directions. cut() closes every relayed connection and refuses new ones, as a broken link
// between two sites would; restore() listens again on the same port.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zt::test {

class TcpRelay {
public:
  // Picks a free port; nothing listens until start().
  explicit TcpRelay(int nTargetPort);
  // Stops the relay thread and closes every socket.
  ~TcpRelay();
  TcpRelay(const TcpRelay &) = delete;
  TcpRelay &operator=(const TcpRelay &) = delete;

  // Listens and starts relaying; false when the port cannot be bound.
  bool start();
  // Closes every relayed connection in both directions and stops listening, so that new
  // connections are refused; returns once that is done.
  void cut();
  // Listens again on the same port; false when it cannot be bound.
  bool restore();

  int port() const { return m_nPort; }
  // Connections being relayed now.
  int connections() const { return m_nConnections.load(); }
  // Connections accepted since start().
  int accepted() const { return m_nAccepted.load(); }

private:
  struct Pair;
  enum class Command { None, Cut, Restore, Stop };

  bool listenOnPort();
  void routine();
  void acceptOne();
  // Moves bytes of one ready pair; false when either side has closed.
  bool relay(Pair &pair, short nReadyA, short nReadyB);
  void closeAll();
  // Hands a command to the relay thread and waits until it has carried it out.
  bool command(Command cmd);

  const int m_nTargetPort;
  int m_nPort = 0;
  int m_nListen = -1;
  int m_nWake = -1;
  std::vector<std::unique_ptr<Pair>> m_vecPairs;
  std::atomic<int> m_nConnections{0};
  std::atomic<int> m_nAccepted{0};
  std::thread m_thread;

  std::mutex m_mutex;
  std::condition_variable m_done;
  Command m_command = Command::None;
  bool m_bCommandOk = false;
};

} // namespace zt::test
