// The broker the comm and stub APIs talk to: 127.0.0.1:1883, or the address in the
// environment variable ZT_LOCAL_BROKER ("a.b.c.d:port") when it is set and valid.
#pragma once

#include <string>

namespace zt::bus {

struct LocalBrokerAddress {
  std::string strHost = "127.0.0.1";
  int nPort = 1883;
};

// Reads ZT_LOCAL_BROKER now. An empty value counts as unset; an invalid one is logged at
// level 4 under pstrCaller and the default is used.
LocalBrokerAddress localBrokerAddress(const char *pstrCaller);

// Parses "a.b.c.d:port": a dotted IPv4 address and a decimal port of 1 to 65535.
bool parseLocalBrokerAddress(const std::string &strText, LocalBrokerAddress &address);

} // namespace zt::bus
