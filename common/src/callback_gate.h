// Guards the calls an instance makes into the application, so that the instance can be destroyed
// from any thread, a callback of its own included: once closed no call starts, and the closing
// thread can wait for the calls still running on other threads.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace zt {

class CallbackGate {
public:
  // One stretch of work that may call the application; false (nothing may be called) once closed.
  class Section {
  public:
    explicit Section(CallbackGate &gate) : m_gate(gate), m_bOpen(gate.enter()) {}
    ~Section() {
      if (m_bOpen) {
        m_gate.leave();
      }
    }
    Section(const Section &) = delete;
    Section &operator=(const Section &) = delete;
    explicit operator bool() const { return m_bOpen; }

  private:
    CallbackGate &m_gate;
    const bool m_bOpen;
  };

  // No section starts any more. True when the calling thread is itself inside a section.
  bool close();
  // Returns once no thread but the calling one is inside a section.
  void waitForOtherThreads();
  // Returns once no section runs at all.
  void waitForAll();

private:
  bool enter();
  void leave();

  std::mutex m_mutex;
  std::condition_variable m_cvLeft;
  bool m_bClosed = false;
  // Open sections per thread (a callback may start a nested one, e.g. a replay inside a callback).
  // A few threads at most; a vector keeps entering and leaving free of allocations.
  struct Inside {
    std::thread::id id;
    int nDepth;
  };
  std::vector<Inside>::iterator findInside(std::thread::id id);
  std::vector<Inside> m_vecInside;
};

} // namespace zt
