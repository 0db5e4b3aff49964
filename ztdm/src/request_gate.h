// Admits the requests of one instance until the instance closes. Closing stops new requests
// and waits for those running on other threads; a request that closes the instance itself is
// not waited for, as it cannot end before closing returns to it.
#pragma once

#include <condition_variable>
#include <mutex>

namespace zt {

class RequestGate {
public:
  // Held for the handling of one request; admitted() is false once the gate is closed.
  class Pass {
  public:
    explicit Pass(RequestGate &gate);
    ~Pass();
    Pass(const Pass &) = delete;
    Pass &operator=(const Pass &) = delete;

    bool admitted() const { return m_bAdmitted; }

  private:
    RequestGate &m_gate;
    bool m_bAdmitted;
    const RequestGate *m_pOuterGate;
  };

  // Closes for good and waits until no request runs on another thread. True when the caller
  // is itself inside a request of this gate.
  bool close();

private:
  std::mutex m_mutex;
  std::condition_variable m_cvLeft;
  bool m_bClosed = false;
  int m_nRunning = 0;
};

} // namespace zt
