#include "control_server.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

// Whether someone listens on the socket at addr.
bool acceptsConnection(const struct sockaddr_un &addr) {
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    return false;
  }
  // EAGAIN: a listener whose backlog is full, busy but alive.
  bool bLive =
      connect(fd, reinterpret_cast<const struct sockaddr *>(&addr), sizeof addr) == 0 || errno == EAGAIN;
  close(fd);
  return bLive;
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

ControlStart ControlServer::start(const std::string &strPath, Handler handler, int nPollMs) {
  stop();
  struct sockaddr_un addr;
  memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (strPath.empty() || strPath.size() >= sizeof addr.sun_path) {
    return ControlStart::Failed;
  }
  memcpy(addr.sun_path, strPath.c_str(), strPath.size());

  // Any other kind of file at the path is left alone too: bind fails on it.
  struct stat st;
  if (lstat(strPath.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
    if (acceptsConnection(addr)) {
      return ControlStart::InUse;
    }
    unlink(strPath.c_str());
  }
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    return ControlStart::Failed;
  }
  if (bind(fd, reinterpret_cast<struct sockaddr *>(&addr), sizeof addr) != 0) {
    close(fd);
    return ControlStart::Failed;
  }
  // Only the owner may connect; the peer check in run() also covers the moment before chmod.
  if (chmod(strPath.c_str(), 0600) != 0 || listen(fd, 4) != 0) {
    close(fd);
    unlink(strPath.c_str());
    return ControlStart::Failed;
  }
  m_strPath = strPath;
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
  unlink(m_strPath.c_str());
  m_strPath.clear();
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
