#include "local_broker_address.h"

#include <arpa/inet.h>
#include <cstdlib>

#include "busline_log.h"

namespace zt::bus {

bool parseLocalBrokerAddress(const std::string &strText, LocalBrokerAddress &address) {
  size_t nColon = strText.rfind(':');
  if (nColon == std::string::npos) {
    return false;
  }
  std::string strHost = strText.substr(0, nColon);
  std::string strPort = strText.substr(nColon + 1);
  in_addr ipv4{};
  // inet_pton takes exactly four decimal parts of 0 to 255.
  if (inet_pton(AF_INET, strHost.c_str(), &ipv4) != 1) {
    return false;
  }
  if (strPort.empty() || strPort.size() > 5 || strPort.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  int nPort = std::atoi(strPort.c_str());
  if (nPort < 1 || nPort > 65535) {
    return false;
  }
  address.strHost = strHost;
  address.nPort = nPort;
  return true;
}

LocalBrokerAddress localBrokerAddress(const char *pstrCaller) {
  LocalBrokerAddress address;
  const char *pstrEnv = std::getenv("ZT_LOCAL_BROKER");
  if (pstrEnv == nullptr || pstrEnv[0] == '\0') {
    return address;
  }
  if (!parseLocalBrokerAddress(pstrEnv, address)) {
    BUSLINE_LOG(zt::log::LOG_WARN, "%s,ZT_LOCAL_BROKER=%s invalid,using %s:%d", pstrCaller, pstrEnv,
                address.strHost.c_str(), address.nPort);
    return address;
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,ZT_LOCAL_BROKER=%s", pstrCaller, pstrEnv);
  return address;
}

} // namespace zt::bus
