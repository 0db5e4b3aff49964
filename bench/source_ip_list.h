// The sender's IPv4 list as busline carries it in the SOURCEIPLIST property, so that a raw
// libmosquitto exchange sends the same bytes as the SDKs.
#pragma once

#include "adapters.h"

#include <string>
#include <vector>

namespace zt::bench {

inline std::string sourceIpList() {
  std::vector<zt::platform::Adapter> vecAdapters;
  zt::platform::listAdapters(vecAdapters);
  std::string strList;
  for (const auto &adapter : vecAdapters) {
    for (const auto &strIp : adapter.vecIpv4) {
      strList += (strList.empty() ? "" : "|") + strIp;
    }
  }
  return strList;
}

} // namespace zt::bench
