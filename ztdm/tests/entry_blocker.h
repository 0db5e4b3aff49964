// Holds the threads that enter it until the test releases them, and counts them. A thread is let
// go after ten seconds anyway, so that a failing test ends instead of hanging.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zt::test {

class EntryBlocker {
public:
  void enter() {
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_nEntered;
    ++m_nInside;
    m_cv.notify_all();
    m_cv.wait_for(lock, std::chrono::seconds(10), [this] { return m_bReleased; });
    --m_nInside;
  }
  void release() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bReleased = true;
    m_cv.notify_all();
  }
  // Blocks again, with the counts back at 0.
  void reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bReleased = false;
    m_nEntered = 0;
  }
  // Waits until nCount threads have entered since the last reset.
  bool waitEntered(int nCount, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return m_nEntered >= nCount; });
  }
  int entered() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nEntered;
  }
  // Threads held right now.
  int inside() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nInside;
  }

private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_bReleased = false;
  int m_nEntered = 0;
  int m_nInside = 0;
};

} // namespace zt::test
