#include "connection/ztip_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zt::ip {

int lastSocketError() {
  return errno;
}

bool isTransientError(int nError) {
  return nError == EAGAIN || nError == EWOULDBLOCK || nError == EINTR;
}

bool isConnectionLostError(int nError) {
  switch (nError) {
  case ENETDOWN:
  case ENETUNREACH:
  case ENETRESET:
  case ECONNABORTED:
  case ECONNRESET:
  case ECONNREFUSED:
  case EPIPE:
  case ETIMEDOUT:
  case EHOSTUNREACH:
    return true;
  default:
    return false;
  }
}

bool setNonBlocking(int nSocket) {
  int nFlags = fcntl(nSocket, F_GETFL, 0);
  return nFlags >= 0 && fcntl(nSocket, F_SETFL, nFlags | O_NONBLOCK) == 0;
}

bool setRecvBufferSize(int nSocket, int nSize) {
  return setsockopt(nSocket, SOL_SOCKET, SO_RCVBUF, &nSize, sizeof(nSize)) == 0;
}

bool setSendBufferSize(int nSocket, int nSize) {
  return setsockopt(nSocket, SOL_SOCKET, SO_SNDBUF, &nSize, sizeof(nSize)) == 0;
}

bool setBufferSizes(int nSocket, int nRecvSize, int nSendSize) {
  return setRecvBufferSize(nSocket, nRecvSize) && setSendBufferSize(nSocket, nSendSize);
}

bool setRecvTimeout(int nSocket, int nMilliseconds) {
  timeval tv{nMilliseconds / 1000, (nMilliseconds % 1000) * 1000};
  return setsockopt(nSocket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv)) == 0;
}

bool setReuseAddress(int nSocket) {
  int nOn = 1;
  return setsockopt(nSocket, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof(nOn)) == 0;
}

bool setBroadcast(int nSocket) {
  int nOn = 1;
  return setsockopt(nSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof(nOn)) == 0;
}

void closeSocket(int &nSocket) {
  if (nSocket != kNoSocket) {
    ::close(nSocket);
    nSocket = kNoSocket;
  }
}

bool makeAddress(const char *pstrIp, int nPort, sockaddr_in &addr) {
  std::memset(&addr, 0, sizeof(addr));
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(nPort));
  if (pstrIp == nullptr || *pstrIp == '\0') {
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
  return inet_pton(AF_INET, pstrIp, &addr.sin_addr) == 1;
}

std::string addressText(const sockaddr_in &addr) {
  char szIp[INET_ADDRSTRLEN] = {0};
  inet_ntop(AF_INET, &addr.sin_addr, szIp, sizeof(szIp));
  return szIp;
}

std::string portText(const sockaddr_in &addr) {
  return std::to_string(ntohs(addr.sin_port));
}

int waitConnected(int nSocket, int nTimeoutMs) {
  pollfd pfd{nSocket, POLLOUT, 0};
  int nRet;
  do {
    nRet = poll(&pfd, 1, nTimeoutMs);
  } while (nRet < 0 && errno == EINTR);
  if (nRet == 0)
    return ETIMEDOUT;
  if (nRet < 0)
    return errno;
  int nError = 0;
  socklen_t nLen = sizeof(nError);
  if (getsockopt(nSocket, SOL_SOCKET, SO_ERROR, &nError, &nLen) != 0)
    return errno;
  return nError;
}

} // namespace zt::ip
