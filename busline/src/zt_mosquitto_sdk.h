// A session as the transport API and topicbus use it: the client of ZtMosquitto plus the
// user callbacks, a module name for the log and the network thread that runs the library's
// loop and reconnects after it returns. The two libraries differ only in a SessionStyle.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "busline.h"
#include "zt_mosquitto.h"

namespace zt::bus {

// The session's fixed waits; tests shorten them.
struct SessionTiming {
  // Pause between the library's loop giving up and the next reconnect.
  std::chrono::milliseconds reconnectWait{15000};
  // The pause is taken in steps of this length, so that stopping cuts it short.
  std::chrono::milliseconds reconnectWaitStep{1000};
  // Interval of the repeated disconnect while stopping.
  std::chrono::milliseconds disconnectRetry{500};
  // Longest wait while stopping for the acknowledgements of the publishes sent before.
  std::chrono::milliseconds acknowledgementWait{2000};
  // One second of a reconnect wait counted in keep-alive seconds (SessionStyle).
  std::chrono::milliseconds keepaliveSecond{1000};
};

// What distinguishes one library's sessions from another's.
struct SessionStyle {
  // Module name in the "[%s]" prefix of every session log line until setModule changes it.
  std::string strModule;
  // When set, the lines of the session's life (connection, thread, messages) also name the
  // handle the user holds, as "pHandle=%p" right after the step.
  const void *pLogHandle = nullptr;
  // The pause before reconnecting: the keep-alive of the last connect in seconds (60 when it
  // is 0) rather than SessionTiming::reconnectWait.
  bool bReconnectWaitIsKeepalive = false;
  // Whether a message without MQTT 5 properties is searched for a message head.
  bool bAcceptHead = true;
};

class ZtMosquittoSdk : public ZtMosquitto {
public:
  explicit ZtMosquittoSdk(const SessionTiming &timing = SessionTiming(), const SessionStyle &style = {});
  ~ZtMosquittoSdk() override;

  void setModule(const std::string &strModule);
  std::string module() const;
  void setConnectCallback(nm_mqtt_connect_callback pCallback);
  void setRecvMessageCallback(nm_mqtt_recv_message_callback pCallback);
  void setUserData(void *pUserData);

  // Starts the network thread unless it runs already.
  void startThread();
  // Stops the network thread: lets the publishes in flight be acknowledged (bounded), forgets
  // the subscriptions and disconnects, repeating the disconnect until the thread has ended.
  // Must not be called on the network thread.
  void exitThread();
  // Whether the caller runs on this session's network thread (inside one of its callbacks).
  bool onNetworkThread() const { return m_networkThreadId.load() == std::this_thread::get_id(); }

  // Reports status 1 (disconnected) as the library's disconnect callback does.
  void onDisconnect(int nReturnCode, const mosquitto_property *pProps) override;

protected:
  void onConnect(int nReturnCode, int nFlags, const mosquitto_property *pProps) override;
  void onPublish(int nMessageId, int nReasonCode, const mosquitto_property *pProps) override;
  void onMessage(const mosquitto_message *pMessage, const mosquitto_property *pProps) override;
  void onSubscribe(int nMessageId, int nQosCount, const int *pGrantedQos,
                   const mosquitto_property *pProps) override;
  void onUnsubscribe(int nMessageId, const mosquitto_property *pProps) override;
  void onLog(int nLevel, const char *pstrText) override;

private:
  void routine();
  // The reconnect wait of this session's style.
  std::chrono::milliseconds reconnectWait() const;
  // The same in whole seconds of the wait's own unit, as logged.
  int reconnectWaitSeconds() const;
  // Waits up to the reconnect wait; returns early once m_bRun is cleared.
  void waitBeforeReconnect();
  // "[module] step", followed by ",pHandle=%p" when the style names the handle.
  std::string lineHead(const char *pstrStep) const;

  const SessionTiming m_timing;
  const SessionStyle m_style;
  std::atomic<nm_mqtt_connect_callback> m_pConnectCallback{nullptr};
  std::atomic<nm_mqtt_recv_message_callback> m_pCallback{nullptr};
  std::atomic<void *> m_pUserData{nullptr};
  mutable std::mutex m_moduleMutex; // guards m_strModule
  std::string m_strModule;
  std::mutex m_threadMutex; // guards m_thread between startThread and exitThread
  std::thread m_thread;
  std::atomic<bool> m_bRun{false};
  std::atomic<std::thread::id> m_networkThreadId{}; // set by the thread itself
};

// The log level of a library log message.
int logLevelOfLibrary(int nLibraryLevel);

} // namespace zt::bus
