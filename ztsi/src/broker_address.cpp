#include "broker_address.h"

#include <cstdint>
#include <cstdlib>

namespace zt {

namespace {

bool isIpv4Number(const std::string &strNumber) {
  if (strNumber.empty() || strNumber.size() > 3) {
    return false;
  }
  for (char c : strNumber) {
    if (c < '0' || c > '9') {
      return false;
    }
  }
  return std::stoi(strNumber) <= 255;
}

bool isIpv4Address(const std::string &strHost) {
  size_t nStart = 0;
  for (int nPart = 0; nPart < 4; ++nPart) {
    size_t nDot = strHost.find('.', nStart);
    bool bLast = nPart == 3;
    if (bLast != (nDot == std::string::npos)) {
      return false;
    }
    size_t nEnd = bLast ? strHost.size() : nDot;
    if (!isIpv4Number(strHost.substr(nStart, nEnd - nStart))) {
      return false;
    }
    nStart = nEnd + 1;
  }
  return true;
}

} // namespace

std::optional<BrokerAddress> parseBrokerAddress(const std::string &strAddress) {
  size_t nColon = strAddress.find(':');
  if (nColon == std::string::npos) {
    return std::nullopt;
  }
  BrokerAddress address;
  address.strHost = strAddress.substr(0, nColon);
  if (!isIpv4Address(address.strHost)) {
    return std::nullopt;
  }
  address.nPort = static_cast<uint16_t>(std::strtoul(strAddress.c_str() + nColon + 1, nullptr, 10));
  return address;
}

} // namespace zt
