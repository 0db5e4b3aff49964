#include "callback_gate.h"

namespace zt {

bool CallbackGate::enter() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_bClosed) {
    return false;
  }
  ++m_mapInside[std::this_thread::get_id()];
  return true;
}

// Notified under the lock: a waiter may free the gate as soon as it sees no section left.
void CallbackGate::leave() {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapInside.find(std::this_thread::get_id());
  if (--it->second == 0) {
    m_mapInside.erase(it);
  }
  m_cvLeft.notify_all();
}

bool CallbackGate::close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bClosed = true;
  return m_mapInside.count(std::this_thread::get_id()) != 0;
}

void CallbackGate::waitForOtherThreads() {
  std::unique_lock<std::mutex> lock(m_mutex);
  std::thread::id self = std::this_thread::get_id();
  m_cvLeft.wait(lock,
                [&] { return m_mapInside.empty() || (m_mapInside.size() == 1 && m_mapInside.count(self)); });
}

void CallbackGate::waitForAll() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_cvLeft.wait(lock, [&] { return m_mapInside.empty(); });
}

} // namespace zt
