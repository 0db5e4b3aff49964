#include "inproc_endpoints.h"

namespace zt::mq {

// Never destroyed: sockets closed while the process exits still report here.
InprocEndpoints &InprocEndpoints::instance() {
  static auto *pEndpoints = new InprocEndpoints;
  return *pEndpoints;
}

uint64_t InprocEndpoints::add(const std::string &strName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_mapSerials[strName] = ++m_uLastSerial;
}

void InprocEndpoints::remove(const std::string &strName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_mapSerials.erase(strName);
}

uint64_t InprocEndpoints::serialOf(const std::string &strName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapSerials.find(strName);
  return it != m_mapSerials.end() ? it->second : 0;
}

} // namespace zt::mq
