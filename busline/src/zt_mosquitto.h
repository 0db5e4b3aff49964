// One libmosquitto client with its subscription list, which is sent again on every
// connection acknowledgement, and the library callbacks turned into virtual calls.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mosquitto.h>
#include <mutex>
#include <openssl/ssl.h>
#include <set>
#include <string>

#include "library_setup.h"

namespace zt::bus {

struct SubscriptionEntry {
  int nMessageId = 0; // written by the library on every (re)send
  std::string strTopic;
  int nQos = 0;
  int nOptions = 0;                     // MQTT_SUB_OPT_NO_LOCAL under MQTT 5, else 0
  mosquitto_property *pProps = nullptr; // always empty; freed with the entry
};

class ZtMosquitto {
public:
  ZtMosquitto() = default;
  virtual ~ZtMosquitto();
  ZtMosquitto(const ZtMosquitto &) = delete;
  ZtMosquitto &operator=(const ZtMosquitto &) = delete;

  // Creates the client (no client id forces a clean session), installs the callbacks and
  // makes it safe to publish from any thread while the network thread runs. Nagle's
  // algorithm is switched off: with it a request/response round trip stalls on delayed
  // acknowledgements. Returns a library result code.
  int create(const char *pstrClientId, bool bCleanSession);
  // Destroys the client; the network thread must have ended.
  void destroy();
  mosquitto *client() const { return m_pMosq; }

  int setOptionInt(mosq_opt_t option, int nValue);
  int setUserPwd(const std::string &strUser, const std::string &strPassword);
  int setTls(const std::string &strCafile, const std::string &strCertfile, const std::string &strKeyfile,
             const std::string &strKeyPassword);
  // TLS with a context built by the caller, used as it is (no CA file, none of the library's
  // defaults); the library keeps its own reference. The context then stays: setTls and
  // setTlsOption, which the library would ignore, are refused with MOSQ_ERR_NOT_SUPPORTED.
  int setTlsContext(SSL_CTX *pCtx);
  int setTlsInsecure(bool bInsecure);
  int setTlsOption(int nCertReqs, const std::string &strTlsVersion, const std::string &strCiphers);
  int setTlsPsk(const std::string &strPsk, const std::string &strIdentity, const std::string &strCiphers);
  // On success the property list belongs to the library.
  int setWill(const char *pstrTopic, int nSize, const void *pPayload, int nQos, bool bRetain,
              mosquitto_property *pProps);
  int clearWill();
  int setReconnectDelay(unsigned nDelay, unsigned nDelayMax, bool bExponential);
  // pProps: CONNECT properties of this attempt only (reconnections send none); the caller keeps them.
  int connect(const std::string &strHost, int nPort, int nKeepalive, const std::string &strBindAddress,
              const mosquitto_property *pProps = nullptr);
  // pMessageId, when given, receives the message id the library used.
  // The entry stays in the list even when the library refuses it (e.g. while not connected).
  int subscribe(const char *pstrTopic, int nQos, int nOptions, int *pMessageId = nullptr);
  // Removes every entry of this topic.
  int unsubscribe(const char *pstrTopic, int *pMessageId = nullptr);
  // A QoS 1 or 2 message published while not connected succeeds: the library sends it after
  // reconnecting.
  int publish(const char *pstrTopic, int nSize, const void *pPayload, int nQos, bool bRetain,
              const mosquitto_property *pProps, int *pMessageId = nullptr);
  // Waits until every publish of QoS 1 or 2 the library took is acknowledged, the connection
  // is lost or the timeout passes. Must not be called on the network thread.
  void waitForAcknowledgements(std::chrono::milliseconds timeout);
  bool isConnected() const { return m_bConnected.load(); }
  int keepalive() const { return m_nKeepalive.load(); }
  size_t subscriptionCount() const;

protected:
  virtual void onConnect(int nReturnCode, int nFlags, const mosquitto_property *pProps);
  virtual void onDisconnect(int nReturnCode, const mosquitto_property *pProps);
  virtual void onPublish(int nMessageId, int nReasonCode, const mosquitto_property *pProps);
  virtual void onMessage(const mosquitto_message *pMessage, const mosquitto_property *pProps);
  virtual void onSubscribe(int nMessageId, int nQosCount, const int *pGrantedQos,
                           const mosquitto_property *pProps);
  virtual void onUnsubscribe(int nMessageId, const mosquitto_property *pProps);
  virtual void onLog(int nLevel, const char *pstrText);

  // Empties the subscription list; nothing is re-sent afterwards.
  void clearSubscriptions();

private:
  static void connectCallback(mosquitto *, void *pObj, int nRc, int nFlags, const mosquitto_property *pProps);
  static void disconnectCallback(mosquitto *, void *pObj, int nRc, const mosquitto_property *pProps);
  static void publishCallback(mosquitto *, void *pObj, int nMid, int nRc, const mosquitto_property *pProps);
  static void messageCallback(mosquitto *, void *pObj, const mosquitto_message *pMessage,
                              const mosquitto_property *pProps);
  static void subscribeCallback(mosquitto *, void *pObj, int nMid, int nQosCount, const int *pGranted,
                                const mosquitto_property *pProps);
  static void unsubscribeCallback(mosquitto *, void *pObj, int nMid, const mosquitto_property *pProps);
  static void logCallback(mosquitto *, void *pObj, int nLevel, const char *pstrText);
  static int passwordCallback(char *pBuf, int nSize, int nRwFlag, void *pUserData);

  MosquittoLibraryUse m_libraryUse; // first member: released after the client is destroyed
  mosquitto *m_pMosq = nullptr;
  std::atomic<bool> m_bConnected{false};
  std::atomic<bool> m_bFixedTlsContext{false};
  std::atomic<int> m_nKeepalive{60};
  std::list<SubscriptionEntry> m_listSubscriptions;
  mutable std::recursive_mutex m_mutex; // guards m_listSubscriptions
  // Guards m_setUnacknowledged. Held across the library's publish, so that an acknowledgement
  // never arrives before its message id is recorded.
  std::mutex m_ackMutex;
  std::condition_variable m_ackCondition;
  std::set<int> m_setUnacknowledged; // message ids of QoS 1 and 2 publishes
  std::mutex m_passwordMutex;        // guards m_strKeyPassword
  std::string m_strKeyPassword;
};

} // namespace zt::bus
