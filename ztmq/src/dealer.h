// One DEALER socket of a task: either bound at the task's address with a receive thread that
// hands every complete message (all its parts joined) to a handler, or connected to one
// destination for sending.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cfifo.h"
#include "connection_watch.h"
#include "zmqcpp.h"

namespace zt::mq {

class dealer {
public:
  // A message: its bytes, followed by a zero byte that nLength does not count.
  using MessageHandler = std::function<void(const uint8_t *pData, size_t nLength)>;
  // Called after a second without messages.
  using IdleHandler = std::function<void()>;

  dealer();
  // Stops the receive thread (which must not be the calling thread) and closes the socket.
  ~dealer();
  dealer(const dealer &) = delete;
  dealer &operator=(const dealer &) = delete;

  // Binds for receiving: 0, -10 without socket, -6 for an empty address, or the bind result.
  int init(const std::string &strBindAddr);
  // Connects for sending: 0, -10 without socket, or the connect result.
  int connect(const std::string &strId, const std::string &strAddr);
  // After connecting to a tcp peer: waits until ZeroMQ has made the connection to it, false when
  // it does not come about. Returns true at once after the first call and for in-process peers.
  bool awaitConnection();
  // One part: 0, -2 when not connected, -3 when ZeroMQ did not take it within the send time-out.
  int trysend(const void *pData, size_t nLength, bool bMore);

  // Starts the receive thread with its handlers; false when it runs already or cannot be started.
  bool start(MessageHandler onMessage, IdleHandler onIdle);

  bool connected() const { return !m_socket.serverAddr().empty(); }
  const std::string &serverAddr() const { return m_socket.serverAddr(); }
  bool peerBindingChanged() const { return m_socket.peerBindingChanged(); }

private:
  void recvProc();
  void receiveMessage();
  bool messageWaiting();

  zmq::socket m_socket;
  std::unique_ptr<ConnectionWatch> m_pWatch; // from connect until awaitConnection
  std::string m_strAddr; // bound address; empty for a sending dealer
  MessageHandler m_onMessage;
  IdleHandler m_onIdle;
  std::thread m_thread;
  std::atomic<bool> m_bStop{false};
  int m_nWakeFd = -1; // written to end the receive thread's wait at once
  std::mutex m_mutex;
  std::condition_variable m_cvStarted;
  bool m_bStarted = false;
  cfifo m_fifo;
};

} // namespace zt::mq
