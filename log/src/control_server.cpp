#include "control_server.h"

#include <cerrno>
#include <cstddef>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zt::log {

namespace {

constexpr size_t kMaxRequestBytes = 4096;
const char kReply[] = "test"; // sent with its terminating zero

// Waits up to nPollMs for fd to become readable.
bool readable(int fd, int nPollMs) {
  struct pollfd pfd = {fd, POLLIN, 0};
  return poll(&pfd, 1, nPollMs) > 0;
}

} // namespace

bool parseControlRequest(const std::string &strText, ControlRequest &request) {
  long values[4];
  const char *p = strText.c_str();
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *p++ != '|') {
      return false;
    }
    char *pEnd = nullptr;
    errno = 0;
    long nValue = strtol(p, &pEnd, 10);
    if (pEnd == p || errno == ERANGE || nValue < INT_MIN || nValue > INT_MAX) {
      return false;
    }
    values[i] = nValue;
    p = pEnd;
  }
  if (values[3] < 0 || values[3] > 7) {
    return false;
  }
  request.bLogToStdout = values[0] != 0;
  request.bLogToFile = values[1] != 0;
  request.bLogFlushImmediately = values[2] != 0;
  request.nLogLevel = static_cast<int>(values[3]);
  return true;
}

ControlServer::~ControlServer() {
  stop();
}

bool controlAddress(const std::string &strName, struct sockaddr_un &addr, socklen_t &nLength) {
  memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  // The leading zero byte makes it an abstract address: no file is made, and the name is
  // released when its last descriptor closes, so a crashed run leaves nothing behind.
  if (strName.empty() || strName.size() + 1 > sizeof addr.sun_path) {
    return false;
  }
  memcpy(addr.sun_path + 1, strName.data(), strName.size());
  nLength = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + strName.size());
  return true;
}

ControlStart ControlServer::start(const std::string &strName, Handler handler, int nPollMs) {
  stop();
  struct sockaddr_un addr;
  socklen_t nAddrLength = 0;
  if (!controlAddress(strName, addr, nAddrLength)) {
    return ControlStart::Failed;
  }
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    return ControlStart::Failed;
  }
  if (bind(fd, reinterpret_cast<struct sockaddr *>(&addr), nAddrLength) != 0) {
    bool bInUse = errno == EADDRINUSE;
    close(fd);
    return bInUse ? ControlStart::InUse : ControlStart::Failed;
  }
  if (listen(fd, 4) != 0) {
    close(fd);
    return ControlStart::Failed;
  }
  m_handler = std::move(handler);
  m_nPollMs = nPollMs;
  m_nListenFd = fd;
  m_bRun = true;
  m_thread = std::thread(&ControlServer::run, this);
  return ControlStart::Serving;
}

void ControlServer::stop() {
  if (!m_thread.joinable()) {
    return;
  }
  m_bRun = false;
  m_thread.join();
  close(m_nListenFd);
  m_nListenFd = -1;
}

bool ControlServer::peerIsSameUser(int nClientFd) const {
  struct ucred cred;
  socklen_t nLen = sizeof cred;
  return getsockopt(nClientFd, SOL_SOCKET, SO_PEERCRED, &cred, &nLen) == 0 && cred.uid == geteuid();
}

void ControlServer::run() {
  while (m_bRun) {
    if (!readable(m_nListenFd, m_nPollMs)) {
      continue;
    }
    int nClientFd = accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (nClientFd < 0) {
      continue;
    }
    if (peerIsSameUser(nClientFd)) {
      serveClient(nClientFd);
    }
    close(nClientFd);
  }
}

void ControlServer::serveClient(int nClientFd) {
  char szRequest[kMaxRequestBytes + 1];
  while (m_bRun) {
    if (!readable(nClientFd, m_nPollMs)) {
      continue;
    }
    ssize_t nRead = recv(nClientFd, szRequest, kMaxRequestBytes, 0);
    if (nRead <= 0) {
      return;
    }
    szRequest[nRead] = '\0';
    printf("%s\n", szRequest);
    fflush(stdout);
    ControlRequest request;
    if (parseControlRequest(szRequest, request)) {
      m_handler(request);
    }
    if (send(nClientFd, kReply, sizeof kReply, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof kReply)) {
      return;
    }
  }
}

} // namespace zt::log
