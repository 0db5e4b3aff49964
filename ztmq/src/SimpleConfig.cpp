#include "SimpleConfig.h"

#include "ztmq_log.h"

namespace zt::mq {

std::string SimpleConfig::get(const std::string &strKey) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapValues.find(strKey);
  return it != m_mapValues.end() ? it->second : std::string();
}

void SimpleConfig::set(const std::string &strKey, const std::string &strValue) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ZTMQ_LOG_DEBUG("set key:%s,value:%s.\n", strKey.c_str(), strValue.c_str());
  m_mapValues[strKey] = strValue;
}

std::string SimpleConfig::setIfEmpty(const std::string &strKey, const std::string &strValue) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string &strHeld = m_mapValues[strKey];
  if (strHeld.empty()) {
    ZTMQ_LOG_DEBUG("==== m_configs update key:%s,value:%s.\n", strKey.c_str(), strValue.c_str());
    strHeld = strValue;
  }
  return strHeld;
}

} // namespace zt::mq
