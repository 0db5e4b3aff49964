// The receiving side of a task: its dealer bound at the task's address, and the calls into the
// application for every message and idle period, made on the dealer's receive thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "callback_gate.h"
#include "dealer.h"
#include "message_codec.h"
#include "ztmq.h"

namespace zt::mq {

class ZTMessageQueueReceiver {
public:
  explicit ZTMessageQueueReceiver(std::string strId) : m_strId(std::move(strId)) {}

  // Binds at the configured address of the id: 0 or the dealer's error.
  int init();
  const std::string &address() const { return m_strAddr; }

  // One of the two receive callbacks is set before start; the idle callback at any time.
  void setCallback(ZtmqRecvCallback pCallback, void *pUser);
  void setCallbackEx(ZtmqRecvCallbackEx pCallback, void *pUser);
  void setIdleCallback(ZtmqIdleCallback pIdle) { m_pIdle.store(pIdle); }
  bool start();

  // No callback starts any more.
  void closeCallbacks() { m_gate.close(); }
  // Returns once no callback of this task runs.
  void waitForCallbacks() { m_gate.waitForAll(); }

  // Whether the calling thread is inside a callback of any task.
  static bool callingThreadInCallback();

private:
  void onMessage(const uint8_t *pData, size_t nLength);
  void callRecvCallback(const DecodedMessage &message);
  void onIdle();
  void callIdle(ZtmqIdleCallback pIdle);

  const std::string m_strId;
  std::string m_strAddr;
  std::unique_ptr<dealer> m_pDealer;
  ZtmqRecvCallback m_pCallback = nullptr;
  ZtmqRecvCallbackEx m_pCallbackEx = nullptr;
  void *m_pUser = nullptr;
  std::atomic<ZtmqIdleCallback> m_pIdle{nullptr};
  int64_t m_nLastIdleSecond = -1; // receive thread only
  zt::CallbackGate m_gate;
};

} // namespace zt::mq
