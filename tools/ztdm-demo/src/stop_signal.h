// A one-way stop flag that sleeping threads can wait on, so that they end at once when it is
// set instead of finishing their sleep.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zt::demo {

class StopSignal {
public:
  void set() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bStop = true;
    }
    m_cvStop.notify_all();
  }

  // Sleeps up to nMs milliseconds; true when the flag is set.
  bool waitFor(int nMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cvStop.wait_for(lock, std::chrono::milliseconds(nMs), [this] { return m_bStop; });
  }

  bool isSet() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bStop;
  }

private:
  std::mutex m_mutex;
  std::condition_variable m_cvStop;
  bool m_bStop = false;
};

} // namespace zt::demo
