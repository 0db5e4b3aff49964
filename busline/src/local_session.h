// The process-wide session of the comm API or the stub API: MQTT 3.1.1 with the message head,
// on the local broker (see local_broker_address.h), secured and connecting as busline_init
// does.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "busline_handle.h"

namespace zt::bus {

// The session waits of the comm and stub handles opened from now on (tests shorten them).
void setLocalSessionTiming(const SessionTiming &timing);

// The session and the mutex that guards it together with the rest of its API's state. Calls
// that use the handle hold the mutex throughout, so that closing waits for them. The mutex is
// never held while the session is opened or stopped: its network thread takes the mutex in
// the callbacks, and the MQTT library holds locks of its own around them.
class LocalSession {
public:
  using Lock = std::unique_lock<std::recursive_mutex>;

  std::recursive_mutex &mutex() { return m_mutex; }
  // The open session or null; the caller holds the mutex.
  BuslineHandle *handle() const { return m_pHandle; }
  // Waits, under the caller's lock, until no other thread is opening the session. False when
  // the caller's own thread is opening it: the caller runs in a callback of the session being
  // opened (a first connect that fails reports status 1 before busline_init returns).
  bool waitWhileOpening(Lock &lock);
  // Opens the session (the caller holds the lock, has waited and found none open); the lock is
  // released meanwhile. False when no session could be made.
  bool open(Lock &lock, const char *pstrCaller, const char *pstrModule,
            nm_mqtt_connect_callback pConnectCallback, nm_mqtt_recv_message_callback pRecvMessageCallback);
  // Takes the session out for busline_exit, which the caller runs after releasing the mutex;
  // null when none is open or when the caller runs in one of its callbacks, which cannot stop
  // their own thread (logged under pstrCaller). The caller has waited while opening.
  BuslineHandle *takeForClosing(const char *pstrCaller);

private:
  std::recursive_mutex m_mutex;
  std::condition_variable_any m_opened; // signalled when an opening ends
  bool m_bOpening = false;
  std::thread::id m_openingThread;
  BuslineHandle *m_pHandle = nullptr;
};

} // namespace zt::bus
