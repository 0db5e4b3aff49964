// The broker address given to ztsi_Create: an IPv4 address and a port joined by ":".
#pragma once

#include <optional>
#include <string>

namespace zt {

struct BrokerAddress {
  std::string strHost;
  int nPort = 0;
};

// Splits at the first ":"; the port is read as a decimal 16-bit number. Empty when the host is not
// four decimal numbers of 0 to 255 joined by exactly three dots (so also without any ":").
std::optional<BrokerAddress> parseBrokerAddress(const std::string &strAddress);

} // namespace zt
