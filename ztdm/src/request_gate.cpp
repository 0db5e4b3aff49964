#include "request_gate.h"

namespace zt {

namespace {

// The gate whose request the current thread is handling, if any.
thread_local const RequestGate *t_pCurrentGate = nullptr;

} // namespace

RequestGate::Pass::Pass(RequestGate &gate) : m_gate(gate), m_pOuterGate(t_pCurrentGate) {
  std::lock_guard<std::mutex> lock(gate.m_mutex);
  m_bAdmitted = !gate.m_bClosed;
  if (m_bAdmitted) {
    ++gate.m_nRunning;
    t_pCurrentGate = &gate;
  }
}

RequestGate::Pass::~Pass() {
  if (!m_bAdmitted) {
    return;
  }
  t_pCurrentGate = m_pOuterGate;
  std::lock_guard<std::mutex> lock(m_gate.m_mutex);
  --m_gate.m_nRunning;
  m_gate.m_cvLeft.notify_all();
}

bool RequestGate::close() {
  bool bInside = t_pCurrentGate == this;
  std::unique_lock<std::mutex> lock(m_mutex);
  m_bClosed = true;
  m_cvLeft.wait(lock, [&] { return m_nRunning == (bInside ? 1 : 0); });
  return bInside;
}

} // namespace zt
