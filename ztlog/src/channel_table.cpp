#include "channel_table.h"

namespace zt::ztlog {

ChannelTable &ChannelTable::instance() {
  static ChannelTable *pTable = new ChannelTable;
  return *pTable;
}

int ChannelTable::open(const std::string &strModule, const log::LogOption &option) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (int i = 0; i < m_nCount; ++i) {
    if (m_astrModules[i] == strModule) {
      return i;
    }
  }
  if (m_nCount == kMaxChannels) {
    return -1;
  }
  log::Logger *pLogger = new log::Logger;
  pLogger->start(option);
  m_astrModules[m_nCount] = strModule;
  m_apLoggers[m_nCount] = pLogger;
  return m_nCount++;
}

log::Logger *ChannelTable::find(int nChannel) const {
  if (nChannel < 0 || nChannel >= kMaxChannels) {
    return nullptr;
  }
  return m_apLoggers[nChannel];
}

void ChannelTable::stopAll() {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (int i = 0; i < m_nCount; ++i) {
    m_apLoggers[i].load()->stop();
  }
}

} // namespace zt::ztlog
