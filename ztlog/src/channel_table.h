// The open log channels of the process: one Logger per module, looked up by channel number.
#pragma once

#include "logger.h"

#include <atomic>
#include <mutex>
#include <string>

namespace zt::ztlog {

class ChannelTable {
public:
  static constexpr int kMaxChannels = 64;

  // The process-wide table; never destroyed, so late log calls at exit stay safe.
  static ChannelTable &instance();

  // The channel of a module, opening it on first use; -1 when the table is full.
  int open(const std::string &strModule, const log::LogOption &option);
  // The logger of a channel, or nullptr for a channel that was never opened.
  log::Logger *find(int nChannel) const;
  // Writes out every queued line and closes the files; later lines are dropped.
  void stopAll();

private:
  std::mutex m_mutex; // serialises open and stopAll
  std::string m_astrModules[kMaxChannels];
  std::atomic<log::Logger *> m_apLoggers[kMaxChannels] = {};
  int m_nCount = 0;
};

} // namespace zt::ztlog
