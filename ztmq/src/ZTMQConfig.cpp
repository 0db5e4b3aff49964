#include "ZTMQConfig.h"

#include "task_address.h"

namespace zt::mq {

// Never destroyed: receive threads may still learn addresses while the process exits.
ZTMQConfig &ZTMQConfig::instance() {
  static auto *pConfig = new ZTMQConfig;
  return *pConfig;
}

int ZTMQConfig::setAddr(const std::string &strId, const std::string &strAddr) {
  int nRet = checkConfiguredAddress(strAddr);
  if (nRet == 0) {
    m_addresses.set(strId, strAddr);
  }
  return nRet;
}

std::string ZTMQConfig::getAddr(const std::string &strId) {
  // The empty id names the sending-only task, which has no address.
  if (strId.empty()) {
    return std::string();
  }
  return m_addresses.setIfEmpty(strId, strId);
}

void ZTMQConfig::learn(const std::string &strId, const std::string &strAddr) {
  if (!strAddr.empty()) {
    m_addresses.setIfEmpty(strId, strAddr);
  }
}

bool ZTMQConfig::isSet(const std::string &strId) {
  return !m_addresses.get(strId).empty();
}

void ZTMQConfig::setProxy(const std::string &strId, const std::string &strProxy) {
  m_proxies.set(strId, strProxy);
}

std::string ZTMQConfig::getProxy(const std::string &strId) {
  return m_proxies.get(strId);
}

} // namespace zt::mq
