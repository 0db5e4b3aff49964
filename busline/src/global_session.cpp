// The process-wide session behind the nm_mqtt_ functions (MQTT 3.1.1 with the message head).
#include <atomic>
#include <mutex>

#include "busline_boundary.h"
#include "busline_handle.h"
#include "busline_log.h"
#include "fixed_credentials.h"
#include "trusted_ca.h"

namespace {

constexpr int kGlobalProtocol = 4;
constexpr int kGlobalKeepalive = 60;

std::recursive_mutex g_globalMutex; // guards creating and destroying the global handle
// Read without the mutex by the forwarding functions.
std::atomic<BuslineHandle *> g_pGlobalHandle{nullptr};

} // namespace

extern "C" {

int nm_mqtt_init(const char *pstrIP, int nPort, const char *pstrSessionId, int nCleanSession,
                 nm_mqtt_connect_callback pMqttConnectCallback,
                 nm_mqtt_recv_message_callback pMqttRecvMessageCallback, void *pUserData) {
  return zt::bus::guarded("nm_mqtt_init", -1, [&] {
    std::lock_guard<std::recursive_mutex> lock(g_globalMutex);
    if (g_pGlobalHandle.load() != nullptr) {
      return 0;
    }
    BuslineHandle *pHandle = busline_init(pstrIP, nPort, pstrSessionId, nCleanSession, kGlobalProtocol, 1,
                                          pMqttConnectCallback, pMqttRecvMessageCallback, pUserData);
    if (pHandle == nullptr) {
      return -1;
    }
    busline_set_module(pHandle, "busline");
    g_pGlobalHandle.store(pHandle);
    return 0;
  });
}

int nm_mqtt_init_session(const char *pstrSessionId, int nCleanSession,
                         nm_mqtt_connect_callback pMqttConnectCallback,
                         nm_mqtt_recv_message_callback pMqttRecvMessageCallback, void *pUserData) {
  return zt::bus::guarded("nm_mqtt_init_session", -1, [&] {
    std::lock_guard<std::recursive_mutex> lock(g_globalMutex);
    if (g_pGlobalHandle.load() != nullptr) {
      return 0;
    }
    // Without a CA there is nothing to connect to safely: no global session at all.
    zt::bus::TlsContext tlsContext = zt::bus::loadTrustedCa("nm_mqtt_init_session");
    if (!tlsContext) {
      return -1;
    }
    BuslineHandle *pHandle = busline_init_session(pstrSessionId, nCleanSession, kGlobalProtocol, 1,
                                                  pMqttConnectCallback, pMqttRecvMessageCallback, pUserData);
    if (pHandle == nullptr) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "nm_mqtt_init_session,busline_init_session fail");
      return -1;
    }
    g_pGlobalHandle.store(pHandle);
    busline_set_module(pHandle, "busline");
    BUSLINE_LOG(zt::log::LOG_WARN, "nm_mqtt_init_session,enable certificate and user authentication");
    // The TLS options go first: once the CA's context is set, the session's trust is fixed.
    int nRet = busline_set_tls_option(pHandle, 1, 1, nullptr, nullptr);
    if (nRet != 0) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "nm_mqtt_init_session,busline_set_tls_option fail,nRet=%d", nRet);
      nm_mqtt_exit(); // nor one whose TLS is not set up
      return nRet;
    }
    if (pHandle->pZtMosquittoSdk->setTlsContext(tlsContext.get()) != MOSQ_ERR_SUCCESS) {
      constexpr int kRefused = -3; // what busline_set_tls returns for a refusal
      BUSLINE_LOG(zt::log::LOG_ERROR, "nm_mqtt_init_session,busline_set_tls fail,nRet=%d", kRefused);
      nm_mqtt_exit(); // a global session without its CA must not connect
      return kRefused;
    }
    nRet = busline_set_user_pwd(pHandle, zt::bus::kFixedUserName, zt::bus::kFixedPassword);
    if (nRet != 0) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "nm_mqtt_init_session,busline_set_user_pwd fail,nRet=%d", nRet);
      return nRet;
    }
    return 0;
  });
}

int nm_mqtt_connect(const char *pstrIP, int nPort) {
  return zt::bus::guarded("nm_mqtt_connect", -1, [&] {
    return busline_connect(g_pGlobalHandle.load(), pstrIP, nPort, kGlobalKeepalive, nullptr);
  });
}

int nm_mqtt_subscribe(const char *pstrTopic, int nQos) {
  return zt::bus::guarded("nm_mqtt_subscribe", -3, [&] {
    return busline_subscribe(g_pGlobalHandle.load(), pstrTopic, nQos);
  });
}

int nm_mqtt_unsubscribe(const char *pstrTopic) {
  return zt::bus::guarded("nm_mqtt_unsubscribe", -3, [&] {
    return busline_unsubscribe(g_pGlobalHandle.load(), pstrTopic);
  });
}

int nm_mqtt_publish(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                    uint32_t uSN, int32_t nType, const char *pstrResponseTopic) {
  return zt::bus::guarded("nm_mqtt_publish", -3, [&] {
    return busline_publish(g_pGlobalHandle.load(), pstrTopic, pMessage, nSize, nQos, nRetain, uSN, nType,
                           pstrResponseTopic);
  });
}

int nm_mqtt_set_will(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                     uint32_t uSN, int32_t nType) {
  return zt::bus::guarded("nm_mqtt_set_will", -3, [&] {
    return busline_set_will(g_pGlobalHandle.load(), pstrTopic, pMessage, nSize, nQos, nRetain, uSN, nType);
  });
}

int nm_mqtt_clear_will(void) {
  return zt::bus::guarded("nm_mqtt_clear_will", -3, [&] {
    return busline_clear_will(g_pGlobalHandle.load());
  });
}

void nm_mqtt_exit(void) {
  zt::bus::guarded("nm_mqtt_exit", [&] {
    // Checked before taking the mutex, which another thread may hold while it joins this one.
    BuslineHandle *pCurrent = g_pGlobalHandle.load();
    if (pCurrent != nullptr && zt::bus::exitRefusedOnOwnThread(*pCurrent, "nm_mqtt_exit")) {
      return;
    }
    std::lock_guard<std::recursive_mutex> lock(g_globalMutex);
    if (BuslineHandle *pHandle = g_pGlobalHandle.exchange(nullptr)) {
      busline_exit(pHandle);
    }
  });
}

} // extern "C"
