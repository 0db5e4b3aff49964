#include "callback_gate.h"

#include <algorithm>

namespace zt {

std::vector<CallbackGate::Inside>::iterator CallbackGate::findInside(std::thread::id id) {
  return std::find_if(m_vecInside.begin(), m_vecInside.end(),
                      [id](const Inside &inside) { return inside.id == id; });
}

bool CallbackGate::enter() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_bClosed) {
    return false;
  }
  std::thread::id self = std::this_thread::get_id();
  auto it = findInside(self);
  if (it != m_vecInside.end()) {
    ++it->nDepth;
  } else {
    m_vecInside.push_back(Inside{self, 1});
  }
  return true;
}

// Notified under the lock: a waiter may free the gate as soon as it sees no section left.
void CallbackGate::leave() {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = findInside(std::this_thread::get_id());
  if (--it->nDepth == 0) {
    *it = m_vecInside.back();
    m_vecInside.pop_back();
  }
  m_cvLeft.notify_all();
}

bool CallbackGate::close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bClosed = true;
  return findInside(std::this_thread::get_id()) != m_vecInside.end();
}

void CallbackGate::waitForOtherThreads() {
  std::unique_lock<std::mutex> lock(m_mutex);
  std::thread::id self = std::this_thread::get_id();
  m_cvLeft.wait(lock, [&] {
    return m_vecInside.empty() || (m_vecInside.size() == 1 && m_vecInside.front().id == self);
  });
}

void CallbackGate::waitForAll() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_cvLeft.wait(lock, [&] { return m_vecInside.empty(); });
}

} // namespace zt
