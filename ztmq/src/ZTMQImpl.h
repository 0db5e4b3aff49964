// One task: its sender, and its receiver unless its id is empty (a task that only sends).
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "ZTMessageQueueReceiver.h"
#include "ZTMessageQueueSender.h"
#include "ztmq.h"

namespace zt::mq {

class ZTMQImpl {
public:
  class Factory;

  explicit ZTMQImpl(std::string strId) : m_strId(std::move(strId)) {}

  // Binds the receiver: 0 or its error.
  int init();
  // Starts receiving into one of the callbacks: 0, -7 when receiving already, -16 when the
  // receive thread cannot be started.
  int asyncReceive(ZtmqRecvCallback pCallback, void *pUser);
  int asyncReceiveEx(ZtmqRecvCallbackEx pCallback, void *pUser);
  void setIdleCallback(ZtmqIdleCallback pIdle);

  // No callback of the task starts any more.
  void closeCallbacks() {
    if (m_pReceiver) {
      m_pReceiver->closeCallbacks();
    }
  }
  // Returns once no callback of the task runs.
  void waitForCallbacks() {
    if (m_pReceiver) {
      m_pReceiver->waitForCallbacks();
    }
  }

  int send(const std::string &strDest, const char *pData, int nLength, int nSn);
  int proxySend(const std::string &strSource, const std::string &strDest, const char *pData, int nLength, int nSn);

private:
  template <typename SetCallback> int startReceiving(SetCallback &&setCallback);

  const std::string m_strId;
  std::unique_ptr<ZTMessageQueueReceiver> m_pReceiver;
  std::unique_ptr<ZTMessageQueueSender> m_pSender;
  std::mutex m_mutex; // guards starting
  bool m_bStarted = false;
};

} // namespace zt::mq
