// The broker address given to ztdm_Create and ztsi_Create: four decimal numbers of 0 to 255 joined by three
// dots, a ":" and a decimal port of 1 to 65535. Host names are not resolved.
#pragma once

#include <cstdint>
#include <string>

namespace zt::protocol {

struct BrokerAddress {
  std::string strHost;
  uint16_t uPort = 0;
};

// False for a null text, a text without ":", a host that is not a dotted IPv4 address or a port
// that is not a decimal number of 1 to 65535. On failure *pstrProblem (when given) receives one
// sentence that tells the user what is wrong, naming the address.
bool parseBrokerAddress(const char *pstrAddress, BrokerAddress &address, std::string *pstrProblem = nullptr);

} // namespace zt::protocol
