#include "link_address.h"

namespace zt::proxy {

LinkAddress splitLinkAddress(const std::string &strAddress) {
  size_t nColon = strAddress.find(':');
  if (nColon == std::string::npos)
    return LinkAddress{strAddress, "8012"};
  return LinkAddress{strAddress.substr(0, nColon), strAddress.substr(nColon + 1)};
}

} // namespace zt::proxy
