// Thin POSIX socket helpers for the library threads and operations: non-blocking
// sockets, buffer options, error classification and address texts.
#pragma once

#include <cstdint>
#include <string>

struct sockaddr_in;

namespace zt::ip {

constexpr int kNoSocket = -1;

// errno of the last failed socket call.
int lastSocketError();

// True for the errors that only mean "try again" (EAGAIN/EWOULDBLOCK, EINTR).
bool isTransientError(int nError);

// True for the errors after which a connection is gone (network down or unreachable,
// reset, aborted, refused).
bool isConnectionLostError(int nError);

bool setNonBlocking(int nSocket);
bool setBufferSizes(int nSocket, int nRecvSize, int nSendSize);
bool setRecvBufferSize(int nSocket, int nSize);
bool setSendBufferSize(int nSocket, int nSize);
bool setRecvTimeout(int nSocket, int nMilliseconds);
bool setReuseAddress(int nSocket);
bool setBroadcast(int nSocket);

// Closes the socket if it is open and sets it to kNoSocket.
void closeSocket(int &nSocket);

// Fills an IPv4 address; a null or empty text means any address. False for a bad text.
bool makeAddress(const char *pstrIp, int nPort, sockaddr_in &addr);

std::string addressText(const sockaddr_in &addr);
std::string portText(const sockaddr_in &addr);

// Waits up to nTimeoutMs for a non-blocking connect to finish. Returns 0 when connected,
// ETIMEDOUT when it did not finish in time, else the connect error.
int waitConnected(int nSocket, int nTimeoutMs);

} // namespace zt::ip
