// "address[:port]" of the link settings.
#pragma once

#include <string>

namespace zt::proxy {

struct LinkAddress {
  std::string strIp;
  std::string strPort;
};

// Split at the first ":"; without one the port is "8012".
LinkAddress splitLinkAddress(const std::string &strAddress);

} // namespace zt::proxy
