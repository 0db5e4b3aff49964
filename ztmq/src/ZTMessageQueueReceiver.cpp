#include "ZTMessageQueueReceiver.h"

#include <chrono>

#include "ZTMQConfig.h"
#include "ztmq_guard.h"
#include "ztmq_log.h"

namespace zt::mq {

namespace {

// How many application callbacks the calling thread is inside (one may lead into another task's).
thread_local int t_nCallbackDepth = 0;

int64_t currentSecond() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Runs one call into the application while the task's gate is open.
template <typename Call> void callApplication(zt::CallbackGate &gate, const char *pstrWhat, Call &&call) {
  zt::CallbackGate::Section section(gate);
  if (!section) {
    return;
  }
  ++t_nCallbackDepth;
  ztmqGuarded(pstrWhat, call);
  --t_nCallbackDepth;
}

} // namespace

bool ZTMessageQueueReceiver::callingThreadInCallback() {
  return t_nCallbackDepth > 0;
}

int ZTMessageQueueReceiver::init() {
  m_strAddr = ZTMQConfig::instance().getAddr(m_strId);
  m_pDealer = std::make_unique<dealer>();
  int nRet = m_pDealer->init(m_strAddr);
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("init error, ret:%d,id:%s,addr:%s.", nRet, m_strId.c_str(), m_strAddr.c_str());
    m_pDealer.reset();
  }
  return nRet;
}

void ZTMessageQueueReceiver::setCallback(ZtmqRecvCallback pCallback, void *pUser) {
  m_pCallback = pCallback;
  m_pUser = pUser;
}

void ZTMessageQueueReceiver::setCallbackEx(ZtmqRecvCallbackEx pCallback, void *pUser) {
  m_pCallbackEx = pCallback;
  m_pUser = pUser;
}

bool ZTMessageQueueReceiver::start() {
  if (!m_pDealer) {
    ZTMQ_LOG_ERROR("start failed:invalid receiver!\n");
    return false;
  }
  return m_pDealer->start([this](const uint8_t *pData, size_t nLength) { onMessage(pData, nLength); },
                          [this] { onIdle(); });
}

void ZTMessageQueueReceiver::onMessage(const uint8_t *pData, size_t nLength) {
  DecodedMessage message;
  if (!decodeMessage(pData, nLength, message)) {
    ZTMQ_LOG_ERROR(" recv invalid message:%d\n", int(nLength));
    return;
  }
  ZTMQ_LOG_DEBUG("decoder.parse: msg_header_size=%d,source:%s,dest:%s,src_addr:%s,size:%d,sn:%d,data: not print...",
                 int(kHeaderSize), message.pstrSource, message.pstrDest, message.pstrSrcAddr, int(message.nSize),
                 message.nSn);
  callRecvCallback(message);
}

void ZTMessageQueueReceiver::callRecvCallback(const DecodedMessage &message) {
  ZTMQConfig &config = ZTMQConfig::instance();
  config.learn(message.pstrSource, message.pstrSrcAddr);
  int nSize = int(message.nSize);
  ZtmqRecvInfo info{message.nSn, message.pstrSrcAddr, m_strId.c_str(), nullptr};
  if (m_strId == message.pstrDest) {
    ZTMQ_LOG_DEBUG(" id:%s<-id:%s,addr:%s,size:%d,sn:%d,message:not print...", m_strId.c_str(), message.pstrSource,
                   message.pstrSrcAddr, nSize, message.nSn);
  } else {
    // Sent here because this task is the destination's proxy.
    ZTMQ_LOG_DEBUG("dest:[%s] %s <-- source:%s[%s]  size:%d, sn:%d,  message:not print....", message.pstrDest,
                   m_strId.c_str(), message.pstrSource, message.pstrSrcAddr, nSize, message.nSn);
    if (m_pCallbackEx != nullptr && config.getProxy(message.pstrDest) != m_strId) {
      config.setProxy(message.pstrDest, m_strId);
    }
    info.dest = message.pstrDest;
    info.proxy = m_strId.c_str();
  }
  callApplication(m_gate, "receive callback", [&] {
    if (m_pCallbackEx != nullptr) {
      m_pCallbackEx(message.pstrSource, message.pData, nSize, m_pUser, &info);
    } else {
      m_pCallback(message.pstrSource, message.pData, nSize, message.nSn, m_pUser);
    }
  });
  ZtmqIdleCallback pIdle = m_pIdle.load();
  if (pIdle != nullptr && currentSecond() != m_nLastIdleSecond) {
    callIdle(pIdle);
  }
}

void ZTMessageQueueReceiver::onIdle() {
  ZtmqIdleCallback pIdle = m_pIdle.load();
  if (pIdle != nullptr) {
    ZTMQ_LOG_DEBUG(" DO Idle callback BindAddr:%s!!", m_strAddr.c_str());
    callIdle(pIdle);
  }
}

void ZTMessageQueueReceiver::callIdle(ZtmqIdleCallback pIdle) {
  m_nLastIdleSecond = currentSecond();
  callApplication(m_gate, "idle callback", [&] { pIdle(m_pUser); });
}

} // namespace zt::mq
