// A thin layer over libzmq's C API: the process-wide context and a socket that takes ztmq
// addresses (see task_address.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zt::mq::zmq {

// The one ZeroMQ context of the process (at most 1,024 sockets), made for the first socket
// and destroyed with the last one.
class context {
public:
  // A new socket of the type, which holds one reference on the context until releaseInstance;
  // null when ZeroMQ refuses it (the reference is taken all the same).
  static void *newSocket(int nType);
  static void releaseInstance();
};

// A DEALER socket.
class socket {
public:
  socket();
  ~socket(); // closes the socket and gives back its context reference
  socket(const socket &) = delete;
  socket &operator=(const socket &) = delete;

  bool valid() const { return m_pSocket != nullptr; }
  void *handle() const { return m_pSocket; }

  // ZeroMQ results: 0 or -1 (the cause is logged).
  int connect(const std::string &strAddr);
  // A tcp address still held by a socket this process just closed is waited for briefly.
  int bind(const std::string &strAddr);
  int setOpt(int nOption, int nValue);
  // Bytes taken, or -1.
  int send(const void *pData, size_t nLength, int nFlags);
  int close();

  const std::string &serverAddr() const { return m_strServerAddr; }
  const std::string &bindAddr() const { return m_strBindAddr; }
  // For a socket connected to an in-process name: whether the task it reaches is gone or has
  // been bound anew since the connection was made (either way it reaches nobody now).
  bool peerBindingChanged() const;

private:
  void *m_pSocket;
  std::string m_strServerAddr;
  std::string m_strBindAddr;
  bool m_bBoundInproc = false;
  bool m_bPeerInproc = false;
  uint64_t m_uPeerSerial = 0;
};

} // namespace zt::mq::zmq
