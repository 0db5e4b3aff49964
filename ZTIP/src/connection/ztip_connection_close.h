// Closing a TCP connection: the socket leaves the connection list and is closed, the
// context is cleared for reuse and the application gets the disconnect notify.
#pragma once

#include "connection/ztip_context.h"

#include <cstdint>

namespace zt::ip {

// Closes the context's connection when bShouldClose(context) holds under its locks (it may
// have changed hands since the caller looked). Returns the milliseconds spent in the notify,
// or -1 when nothing was closed.
template <typename Predicate> long long closeConnectionIf(ZtipContext &context, Predicate bShouldClose);

// The part that needs no template: closing a context whose locks the caller holds,
// returning the details for the notify.
struct ClosedConnection {
  uint16_t uSocketId = 0;
  uint16_t uServerSocketId = 0;
  int nListenSocket = -1;
  int nLinkSocket = -1;
  char szPeerIp[22] = {0};
  char szPort[10] = {0};
  uint64_t uRecvMs = 0;
  int nActive = 0;
};
ClosedConnection closeConnectionLocked(ZtipContext &context);

// Calls the notifies for a closed connection and writes its log lines; returns the
// milliseconds the notifies took.
long long announceClosedConnection(const ClosedConnection &closed);

template <typename Predicate> long long closeConnectionIf(ZtipContext &context, Predicate bShouldClose) {
  ClosedConnection closed;
  {
    std::lock_guard<std::mutex> bufferLock(context.mBufferLock);
    std::lock_guard<std::mutex> statusLock(context.mStatusLock);
    if (context.mLinkSocket < 0 || !bShouldClose(context))
      return -1;
    closed = closeConnectionLocked(context);
  }
  return announceClosedConnection(closed);
}

} // namespace zt::ip
