#include "ZTMQImpl.h"

#include "ztmq_log.h"

namespace zt::mq {

int ZTMQImpl::init() {
  if (!m_strId.empty()) {
    m_pReceiver = std::make_unique<ZTMessageQueueReceiver>(m_strId);
    int nRet = m_pReceiver->init();
    if (nRet != 0) {
      ZTMQ_LOG_ERROR("init error,ret:%d,id:%s.", nRet, m_strId.c_str());
      return nRet;
    }
  }
  m_pSender = std::make_unique<ZTMessageQueueSender>(m_pReceiver ? m_pReceiver->address() : std::string());
  return 0;
}

template <typename SetCallback> int ZTMQImpl::startReceiving(SetCallback &&setCallback) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_bStarted) {
    ZTMQ_LOG_WARN("asyncReceive have start or callback is NULL.");
    return -7;
  }
  setCallback(*m_pReceiver);
  if (!m_pReceiver->start()) {
    return -16;
  }
  ZTMQ_LOG_DEBUG("asyncReceive start.");
  m_bStarted = true;
  return 0;
}

int ZTMQImpl::asyncReceive(ZtmqRecvCallback pCallback, void *pUser) {
  return startReceiving([&](ZTMessageQueueReceiver &receiver) { receiver.setCallback(pCallback, pUser); });
}

int ZTMQImpl::asyncReceiveEx(ZtmqRecvCallbackEx pCallback, void *pUser) {
  return startReceiving([&](ZTMessageQueueReceiver &receiver) { receiver.setCallbackEx(pCallback, pUser); });
}

void ZTMQImpl::setIdleCallback(ZtmqIdleCallback pIdle) {
  m_pReceiver->setIdleCallback(pIdle);
}

int ZTMQImpl::send(const std::string &strDest, const char *pData, int nLength, int nSn) {
  return m_pSender->send_v2(m_strId, strDest, pData, nLength, nSn);
}

int ZTMQImpl::proxySend(const std::string &strSource, const std::string &strDest, const char *pData, int nLength,
                        int nSn) {
  return m_pSender->send_phony_send(m_strId, strSource, strDest, pData, nLength, nSn);
}

} // namespace zt::mq
