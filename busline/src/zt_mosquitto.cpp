#include "zt_mosquitto.h"

#include <cstring>

namespace zt::bus {

namespace {

const char *noneIfEmpty(const std::string &str) {
  return str.empty() ? nullptr : str.c_str();
}

void freeEntry(SubscriptionEntry &entry) {
  mosquitto_property_free_all(&entry.pProps);
}

} // namespace

ZtMosquitto::~ZtMosquitto() {
  clearSubscriptions();
  destroy();
}

int ZtMosquitto::create(const char *pstrClientId, bool bCleanSession) {
  bool bHasId = pstrClientId != nullptr && pstrClientId[0] != '\0';
  m_pMosq = mosquitto_new(bHasId ? pstrClientId : nullptr, bHasId ? bCleanSession : true, this);
  if (m_pMosq == nullptr) {
    return errno == EINVAL ? MOSQ_ERR_INVAL : MOSQ_ERR_NOMEM;
  }
  mosquitto_connect_v5_callback_set(m_pMosq, connectCallback);
  mosquitto_disconnect_v5_callback_set(m_pMosq, disconnectCallback);
  mosquitto_publish_v5_callback_set(m_pMosq, publishCallback);
  mosquitto_message_v5_callback_set(m_pMosq, messageCallback);
  mosquitto_subscribe_v5_callback_set(m_pMosq, subscribeCallback);
  mosquitto_unsubscribe_v5_callback_set(m_pMosq, unsubscribeCallback);
  mosquitto_log_callback_set(m_pMosq, logCallback);
  int nRet = mosquitto_threaded_set(m_pMosq, true);
  if (nRet == MOSQ_ERR_SUCCESS) {
    nRet = mosquitto_int_option(m_pMosq, MOSQ_OPT_TCP_NODELAY, 1);
  }
  return nRet;
}

void ZtMosquitto::destroy() {
  if (m_pMosq != nullptr) {
    mosquitto_destroy(m_pMosq);
    m_pMosq = nullptr;
  }
}

int ZtMosquitto::setOptionInt(mosq_opt_t option, int nValue) {
  return mosquitto_int_option(m_pMosq, option, nValue);
}

int ZtMosquitto::setUserPwd(const std::string &strUser, const std::string &strPassword) {
  return mosquitto_username_pw_set(m_pMosq, noneIfEmpty(strUser), noneIfEmpty(strPassword));
}

int ZtMosquitto::setTls(const std::string &strCafile, const std::string &strCertfile,
                        const std::string &strKeyfile, const std::string &strKeyPassword) {
  if (m_bFixedTlsContext) {
    return MOSQ_ERR_NOT_SUPPORTED;
  }
  {
    std::lock_guard<std::mutex> lock(m_passwordMutex);
    m_strKeyPassword = strKeyPassword;
  }
  return mosquitto_tls_set(m_pMosq, noneIfEmpty(strCafile), nullptr, noneIfEmpty(strCertfile),
                           noneIfEmpty(strKeyfile), passwordCallback);
}

int ZtMosquitto::setTlsContext(SSL_CTX *pCtx) {
  int nRet = mosquitto_void_option(m_pMosq, MOSQ_OPT_SSL_CTX, pCtx);
  if (nRet == MOSQ_ERR_SUCCESS) {
    nRet = mosquitto_int_option(m_pMosq, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
  }
  m_bFixedTlsContext = nRet == MOSQ_ERR_SUCCESS;
  return nRet;
}

int ZtMosquitto::setTlsInsecure(bool bInsecure) {
  return mosquitto_tls_insecure_set(m_pMosq, bInsecure);
}

int ZtMosquitto::setTlsOption(int nCertReqs, const std::string &strTlsVersion,
                              const std::string &strCiphers) {
  if (m_bFixedTlsContext) {
    return MOSQ_ERR_NOT_SUPPORTED;
  }
  return mosquitto_tls_opts_set(m_pMosq, nCertReqs != 0 ? 1 : 0, noneIfEmpty(strTlsVersion),
                                noneIfEmpty(strCiphers));
}

int ZtMosquitto::setTlsPsk(const std::string &strPsk, const std::string &strIdentity,
                           const std::string &strCiphers) {
  return mosquitto_tls_psk_set(m_pMosq, strPsk.c_str(), strIdentity.c_str(), noneIfEmpty(strCiphers));
}

int ZtMosquitto::setWill(const char *pstrTopic, int nSize, const void *pPayload, int nQos, bool bRetain,
                         mosquitto_property *pProps) {
  return mosquitto_will_set_v5(m_pMosq, pstrTopic, nSize, pPayload, nQos, bRetain, pProps);
}

int ZtMosquitto::clearWill() {
  return mosquitto_will_clear(m_pMosq);
}

int ZtMosquitto::setReconnectDelay(unsigned nDelay, unsigned nDelayMax, bool bExponential) {
  return mosquitto_reconnect_delay_set(m_pMosq, nDelay, nDelayMax, bExponential);
}

int ZtMosquitto::connect(const std::string &strHost, int nPort, int nKeepalive,
                         const std::string &strBindAddress, const mosquitto_property *pProps) {
  m_nKeepalive.store(nKeepalive);
  return mosquitto_connect_bind_v5(m_pMosq, strHost.c_str(), nPort, nKeepalive, noneIfEmpty(strBindAddress),
                                   pProps);
}

int ZtMosquitto::subscribe(const char *pstrTopic, int nQos, int nOptions, int *pMessageId) {
  {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_listSubscriptions.push_back(SubscriptionEntry{0, pstrTopic, nQos, nOptions, nullptr});
  }
  return mosquitto_subscribe_v5(m_pMosq, pMessageId, pstrTopic, nQos, nOptions, nullptr);
}

int ZtMosquitto::unsubscribe(const char *pstrTopic, int *pMessageId) {
  {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (auto it = m_listSubscriptions.begin(); it != m_listSubscriptions.end();) {
      if (it->strTopic == pstrTopic) {
        freeEntry(*it);
        it = m_listSubscriptions.erase(it);
      } else {
        ++it;
      }
    }
  }
  return mosquitto_unsubscribe_v5(m_pMosq, pMessageId, pstrTopic, nullptr);
}

int ZtMosquitto::publish(const char *pstrTopic, int nSize, const void *pPayload, int nQos, bool bRetain,
                         const mosquitto_property *pProps, int *pMessageId) {
  std::lock_guard<std::mutex> lock(m_ackMutex);
  int nMessageId = 0;
  int nRet = mosquitto_publish_v5(m_pMosq, &nMessageId, pstrTopic, nSize, pPayload, nQos, bRetain, pProps);
  // Without a connection the library still keeps a QoS 1 or 2 message under its id and sends it
  // once it has reconnected; reporting that as a failure would make callers send it twice.
  if (nRet == MOSQ_ERR_NO_CONN && nQos > 0 && nMessageId != 0) {
    nRet = MOSQ_ERR_SUCCESS;
  }
  if (nRet == MOSQ_ERR_SUCCESS && nQos > 0) {
    m_setUnacknowledged.insert(nMessageId);
  }
  if (pMessageId != nullptr) {
    *pMessageId = nMessageId;
  }
  return nRet;
}

void ZtMosquitto::waitForAcknowledgements(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_ackMutex);
  m_ackCondition.wait_for(lock, timeout, [this] { return m_setUnacknowledged.empty() || !isConnected(); });
}

size_t ZtMosquitto::subscriptionCount() const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_listSubscriptions.size();
}

void ZtMosquitto::clearSubscriptions() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  for (auto &entry : m_listSubscriptions) {
    freeEntry(entry);
  }
  m_listSubscriptions.clear();
}

void ZtMosquitto::onConnect(int, int, const mosquitto_property *) {}
void ZtMosquitto::onDisconnect(int, const mosquitto_property *) {}
void ZtMosquitto::onPublish(int, int, const mosquitto_property *) {}
void ZtMosquitto::onMessage(const mosquitto_message *, const mosquitto_property *) {}
void ZtMosquitto::onSubscribe(int, int, const int *, const mosquitto_property *) {}
void ZtMosquitto::onUnsubscribe(int, const mosquitto_property *) {}
void ZtMosquitto::onLog(int, const char *) {}

void ZtMosquitto::connectCallback(mosquitto *, void *pObj, int nRc, int nFlags,
                                  const mosquitto_property *pProps) {
  auto *pSelf = static_cast<ZtMosquitto *>(pObj);
  // A refusing acknowledgement is followed by the library's disconnection: nothing to replay.
  if (nRc == 0) {
    pSelf->m_bConnected.exchange(true);
    std::lock_guard<std::recursive_mutex> lock(pSelf->m_mutex);
    for (auto &entry : pSelf->m_listSubscriptions) {
      mosquitto_subscribe_v5(pSelf->m_pMosq, &entry.nMessageId, entry.strTopic.c_str(), entry.nQos,
                             entry.nOptions, entry.pProps);
    }
  }
  pSelf->onConnect(nRc, nFlags, pProps);
}

void ZtMosquitto::disconnectCallback(mosquitto *, void *pObj, int nRc, const mosquitto_property *pProps) {
  auto *pSelf = static_cast<ZtMosquitto *>(pObj);
  pSelf->m_bConnected.exchange(false);
  {
    std::lock_guard<std::mutex> lock(pSelf->m_ackMutex); // a waiter is either waiting or sees the flag
  }
  pSelf->m_ackCondition.notify_all();
  pSelf->onDisconnect(nRc, pProps);
}

void ZtMosquitto::publishCallback(mosquitto *, void *pObj, int nMid, int nRc,
                                  const mosquitto_property *pProps) {
  auto *pSelf = static_cast<ZtMosquitto *>(pObj);
  {
    std::lock_guard<std::mutex> lock(pSelf->m_ackMutex);
    pSelf->m_setUnacknowledged.erase(nMid);
  }
  pSelf->m_ackCondition.notify_all();
  pSelf->onPublish(nMid, nRc, pProps);
}

void ZtMosquitto::messageCallback(mosquitto *, void *pObj, const mosquitto_message *pMessage,
                                  const mosquitto_property *pProps) {
  static_cast<ZtMosquitto *>(pObj)->onMessage(pMessage, pProps);
}

void ZtMosquitto::subscribeCallback(mosquitto *, void *pObj, int nMid, int nQosCount, const int *pGranted,
                                    const mosquitto_property *pProps) {
  static_cast<ZtMosquitto *>(pObj)->onSubscribe(nMid, nQosCount, pGranted, pProps);
}

void ZtMosquitto::unsubscribeCallback(mosquitto *, void *pObj, int nMid, const mosquitto_property *pProps) {
  static_cast<ZtMosquitto *>(pObj)->onUnsubscribe(nMid, pProps);
}

void ZtMosquitto::logCallback(mosquitto *, void *pObj, int nLevel, const char *pstrText) {
  static_cast<ZtMosquitto *>(pObj)->onLog(nLevel, pstrText);
}

int ZtMosquitto::passwordCallback(char *pBuf, int nSize, int, void *pUserData) {
  auto *pSelf = static_cast<ZtMosquitto *>(mosquitto_userdata(static_cast<mosquitto *>(pUserData)));
  if (pSelf == nullptr) {
    return 0;
  }
  std::lock_guard<std::mutex> lock(pSelf->m_passwordMutex);
  int nLen = int(pSelf->m_strKeyPassword.size());
  if (nSize < nLen) {
    return 0;
  }
  std::memcpy(pBuf, pSelf->m_strKeyPassword.data(), size_t(nLen));
  return nLen;
}

} // namespace zt::bus
