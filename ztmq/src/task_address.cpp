#include "task_address.h"

#include "message_codec.h"

namespace zt::mq {

namespace {

constexpr int kLowestPort = 1024;
constexpr int kHighestPort = 65535;

// Reads a run of 1 to nMaxDigits decimal digits at nPos; -1 when there is none or it is longer.
long readNumber(const std::string &strText, size_t &nPos, size_t nMaxDigits) {
  size_t nStart = nPos;
  long nValue = 0;
  while (nPos < strText.size() && strText[nPos] >= '0' && strText[nPos] <= '9') {
    if (nPos - nStart == nMaxDigits) {
      return -1;
    }
    nValue = nValue * 10 + (strText[nPos] - '0');
    ++nPos;
  }
  return nPos > nStart ? nValue : -1;
}

// The port of a tcp address, or -1 when the address is not one (a port of more than five
// digits is not a number for this purpose).
long tcpPort(const std::string &strAddr) {
  size_t nPos = 0;
  for (int nPart = 0; nPart < 4; ++nPart) {
    long nOctet = readNumber(strAddr, nPos, 3);
    if (nOctet < 0 || nOctet > 255 || nPos >= strAddr.size() || strAddr[nPos] != (nPart < 3 ? '.' : ':')) {
      return -1;
    }
    ++nPos;
  }
  long nPort = readNumber(strAddr, nPos, 5);
  return nPos == strAddr.size() ? nPort : -1;
}

} // namespace

bool isTcpAddress(const std::string &strAddr) {
  return tcpPort(strAddr) >= 0;
}

std::string endpointOf(const std::string &strAddr) {
  return (isTcpAddress(strAddr) ? "tcp://" : "inproc://") + strAddr;
}

int checkConfiguredAddress(const std::string &strAddr) {
  if (strAddr.empty()) {
    return -12;
  }
  if (strAddr.size() > kMaxIdLength) {
    return -15;
  }
  if (strAddr.find(':') == std::string::npos) {
    return 0;
  }
  long nPort = tcpPort(strAddr);
  return nPort >= kLowestPort && nPort <= kHighestPort ? 0 : -15;
}

} // namespace zt::mq
