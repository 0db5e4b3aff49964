#include "tcp_relay.h"

#include "broker.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zt::test {

namespace {

constexpr size_t kChunk = 65536;

sockaddr_in loopback(int nPort) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(nPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

void noDelay(int fd) {
  int nOn = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nOn, sizeof nOn);
}

// A connected, non-blocking socket to the target, or -1 when nothing accepts there.
int connectTarget(int nPort) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  sockaddr_in addr = loopback(nPort);
  if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  noDelay(fd);
  return fd;
}

} // namespace

// One relayed connection: the accepted socket, the socket to the target and the bytes
// received on each side that the other side has not taken yet.
struct TcpRelay::Pair {
  int fdClient = -1;
  int fdTarget = -1;
  std::string strToTarget;
  std::string strToClient;

  ~Pair() {
    for (int fd : {fdClient, fdTarget}) {
      if (fd >= 0) {
        close(fd);
      }
    }
  }
};

namespace {

// Reads what is there into strPending; false when the peer closed or failed.
bool receiveInto(int fd, std::string &strPending) {
  char buffer[kChunk];
  ssize_t nRead = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (nRead > 0) {
    strPending.append(buffer, static_cast<size_t>(nRead));
    return true;
  }
  return nRead < 0 && (errno == EAGAIN || errno == EINTR);
}

// Sends as much of strPending as the socket takes; false when the peer failed.
bool sendFrom(int fd, std::string &strPending) {
  while (!strPending.empty()) {
    ssize_t nSent = send(fd, strPending.data(), strPending.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (nSent < 0) {
      return errno == EAGAIN || errno == EINTR;
    }
    strPending.erase(0, static_cast<size_t>(nSent));
  }
  return true;
}

short eventsFor(const std::string &strIncoming, const std::string &strOutgoing) {
  // A side is read only once its last bytes were passed on, so a slow reader slows its writer.
  return static_cast<short>((strIncoming.empty() ? POLLIN : 0) | (strOutgoing.empty() ? 0 : POLLOUT));
}

} // namespace

TcpRelay::TcpRelay(int nTargetPort) : m_nTargetPort(nTargetPort), m_nPort(freeTcpPort()) {}

TcpRelay::~TcpRelay() {
  if (m_thread.joinable()) {
    command(Command::Stop);
    m_thread.join();
  }
  closeAll();
  if (m_nWake >= 0) {
    close(m_nWake);
  }
}

bool TcpRelay::start() {
  if (m_thread.joinable()) {
    return true;
  }
  m_nWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_nWake < 0 || !listenOnPort()) {
    return false;
  }
  m_thread = std::thread([this] { routine(); });
  return true;
}

void TcpRelay::cut() {
  command(Command::Cut);
}

bool TcpRelay::restore() {
  return command(Command::Restore);
}

bool TcpRelay::listenOnPort() {
  if (m_nListen >= 0) {
    return true;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int nOn = 1;
  sockaddr_in addr = loopback(m_nPort);
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn) != 0 ||
      bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
    if (fd >= 0) {
      close(fd);
    }
    return false;
  }
  m_nListen = fd;
  return true;
}

bool TcpRelay::command(Command cmd) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_command = cmd;
  uint64_t uOne = 1;
  if (write(m_nWake, &uOne, sizeof uOne) != sizeof uOne) {
    return false;
  }
  m_done.wait(lock, [this] { return m_command == Command::None; });
  return m_bCommandOk;
}

void TcpRelay::routine() {
  std::vector<pollfd> vecPoll;
  for (;;) {
    vecPoll.clear();
    vecPoll.push_back({m_nWake, POLLIN, 0});
    vecPoll.push_back({m_nListen, POLLIN, 0}); // ignored by poll while not listening (-1)
    for (const auto &pPair : m_vecPairs) {
      vecPoll.push_back({pPair->fdClient, eventsFor(pPair->strToTarget, pPair->strToClient), 0});
      vecPoll.push_back({pPair->fdTarget, eventsFor(pPair->strToClient, pPair->strToTarget), 0});
    }
    if (poll(vecPoll.data(), vecPoll.size(), -1) < 0) {
      continue;
    }
    if (vecPoll[0].revents != 0) {
      uint64_t uCount = 0;
      if (read(m_nWake, &uCount, sizeof uCount) < 0) {
        // Nothing to drain: a spurious wake-up.
      }
      std::lock_guard<std::mutex> lock(m_mutex);
      Command cmd = m_command;
      m_bCommandOk = true;
      if (cmd == Command::Cut || cmd == Command::Stop) {
        closeAll();
      } else if (cmd == Command::Restore) {
        m_bCommandOk = listenOnPort();
      }
      m_command = Command::None;
      m_done.notify_all();
      if (cmd == Command::Stop) {
        return;
      }
      continue; // the poll set may have changed
    }
    for (size_t i = 0; i < m_vecPairs.size();) {
      size_t nIndex = 2 + 2 * i;
      if (relay(*m_vecPairs[i], vecPoll[nIndex].revents, vecPoll[nIndex + 1].revents)) {
        ++i;
        continue;
      }
      m_vecPairs.erase(m_vecPairs.begin() + static_cast<std::ptrdiff_t>(i));
      auto itPair = vecPoll.begin() + static_cast<std::ptrdiff_t>(nIndex);
      vecPoll.erase(itPair, itPair + 2);
      --m_nConnections;
    }
    if (m_nListen >= 0 && (vecPoll[1].revents & POLLIN) != 0) {
      acceptOne();
    }
  }
}

void TcpRelay::acceptOne() {
  int fdClient = accept4(m_nListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fdClient < 0) {
    return;
  }
  noDelay(fdClient);
  auto pPair = std::make_unique<Pair>();
  pPair->fdClient = fdClient;
  pPair->fdTarget = connectTarget(m_nTargetPort);
  ++m_nAccepted;
  if (pPair->fdTarget < 0) {
    return; // nothing at the target: the client sees its connection closed
  }
  m_vecPairs.push_back(std::move(pPair));
  ++m_nConnections;
}

bool TcpRelay::relay(Pair &pair, short nReadyClient, short nReadyTarget) {
  const short kClosed = POLLERR | POLLHUP | POLLNVAL;
  if ((nReadyClient & POLLIN) != 0 && !receiveInto(pair.fdClient, pair.strToTarget)) {
    return false;
  }
  if ((nReadyTarget & POLLIN) != 0 && !receiveInto(pair.fdTarget, pair.strToClient)) {
    return false;
  }
  if (((nReadyClient | nReadyTarget) & kClosed) != 0 && ((nReadyClient | nReadyTarget) & POLLIN) == 0) {
    return false;
  }
  // Bytes just read go out at once rather than after the next poll.
  return sendFrom(pair.fdTarget, pair.strToTarget) && sendFrom(pair.fdClient, pair.strToClient);
}

void TcpRelay::closeAll() {
  m_nConnections -= static_cast<int>(m_vecPairs.size());
  m_vecPairs.clear();
  if (m_nListen >= 0) {
    close(m_nListen);
    m_nListen = -1;
  }
}

} // namespace zt::test
