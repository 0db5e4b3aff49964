// The handle-based transport functions.
#include <cstdio>
#include <cstring>
#include <memory>
#include <mqtt_protocol.h>

#include "busline_boundary.h"
#include "busline_handle.h"
#include "busline_log.h"
#include "fixed_credentials.h"
#include "local_ip_list.h"
#include "message_head.h"
#include "mqtt_properties.h"
#include "trusted_ca.h"
#include "version_info.h"

using zt::bus::guarded;
using zt::bus::logText;
using zt::bus::ZtMosquittoSdk;

namespace {

constexpr size_t kMaxTopicLen = 128;
constexpr const char *kDefaultHost = "127.0.0.1";
constexpr int kDefaultPort = 1883;
constexpr int kDefaultKeepalive = 60;

std::string moduleOf(const BuslineHandle *pHandle) {
  return pHandle != nullptr && pHandle->pZtMosquittoSdk != nullptr ? pHandle->pZtMosquittoSdk->module()
                                                                   : std::string();
}

ZtMosquittoSdk *sessionOf(BuslineHandle *pHandle, const char *pstrFunction) {
  if (pHandle == nullptr || pHandle->pZtMosquittoSdk == nullptr) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,pBuslineHandle or pZtMosquittoSdk is nullptr", pstrFunction);
    return nullptr;
  }
  return pHandle->pZtMosquittoSdk;
}

bool validTopic(const char *pstrTopic) {
  if (pstrTopic == nullptr) {
    return false;
  }
  size_t nLen = strnlen(pstrTopic, kMaxTopicLen + 1);
  return nLen >= 1 && nLen <= kMaxTopicLen;
}

bool validResponseTopic(const char *pstrTopic) {
  return pstrTopic == nullptr || strnlen(pstrTopic, kMaxTopicLen + 1) <= kMaxTopicLen;
}

bool validQos(int nQos) {
  return nQos >= 0 && nQos <= 2;
}

std::string textOrEmpty(const char *pstr) {
  return pstr != nullptr ? pstr : "";
}

// Library result code to the API's: 0 stays 0, any refusal is logged and becomes -3.
int mapResult(int nRet, const char *pstrFunction, const char *pstrStep) {
  if (nRet == MOSQ_ERR_SUCCESS) {
    return 0;
  }
  BUSLINE_LOG(zt::log::LOG_ERROR, "%s,%s fail,nRet=%d,%s", pstrFunction, pstrStep, nRet, mosquitto_strerror(nRet));
  return -3;
}

// Payload and properties of an outgoing message (publish or will) as the handle's protocol
// and head setting want them.
struct OutgoingMessage {
  const void *pPayload = nullptr;
  int nSize = 0;
  zt::bus::HeadMessage head;
  mosquitto_property *pProps = nullptr;
};

// Returns 0, or -1 when the message head cannot be built.
int prepareOutgoing(const BuslineHandle &handle, const char *pstrFunction, const void *pMessage, int nSize,
                    uint32_t uSN, int32_t nType, const char *pstrResponseTopic, OutgoingMessage &out) {
  out.pPayload = pMessage;
  out.nSize = pMessage != nullptr ? nSize : 0;
  if (!handle.bUseBuslineHead) {
    return 0;
  }
  if (handle.nProtocol == MQTT_PROTOCOL_V5) {
    out.pProps =
        zt::bus::buildMessageProperties(pstrFunction, uSN, nType, pstrResponseTopic, zt::bus::localIpList());
    return 0;
  }
  if (!zt::bus::genBuslineMessage(uSN, nType, pMessage, nSize, pstrResponseTopic, zt::bus::localIpList(),
                                  out.head)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,genBuslineMessage fail", pstrFunction);
    return -1;
  }
  out.pPayload = out.head.data();
  out.nSize = out.head.size();
  return 0;
}

int normalisedProtocol(int nProtocol) {
  return nProtocol >= MQTT_PROTOCOL_V31 && nProtocol <= MQTT_PROTOCOL_V5 ? nProtocol : MQTT_PROTOCOL_V311;
}

// A handle being set up; busline_exit frees it unless it is released to the caller.
using HandleInSetUp = std::unique_ptr<BuslineHandle, decltype(&busline_exit)>;

// Steps shared by both ways of creating a handle; pstrCaller names the exported function.
HandleInSetUp createHandle(const char *pstrCaller, const zt::bus::SessionArgs &args,
                           const zt::bus::SessionTiming &timing) {
  zt::bus::refreshLocalIpList();
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,strLocalIp=%s", pstrCaller, zt::bus::localIpList().c_str());
  HandleInSetUp pHandle(new BuslineHandle, busline_exit);
  auto *pSdk = new ZtMosquittoSdk(timing);
  pHandle->pZtMosquittoSdk = pSdk;
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,pHandle=%p,pZtMosquittoSdk=%p", pstrCaller, static_cast<void *>(pHandle.get()),
              static_cast<void *>(pSdk));
  pHandle->nProtocol = normalisedProtocol(args.nProtocol);
  pHandle->bUseBuslineHead = args.nUseBuslineHead != 0;
  pSdk->setModule("");
  pSdk->setConnectCallback(args.pConnectCallback);
  pSdk->setRecvMessageCallback(args.pRecvMessageCallback);
  pSdk->setUserData(args.pUserData);
  int nRet = pSdk->create(args.pstrSessionId, args.nCleanSession != 0);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,mosquitto_new fail,nRet=%d,%s", pstrCaller, nRet,
                mosquitto_strerror(nRet));
    return HandleInSetUp(nullptr, busline_exit);
  }
  return pHandle;
}

} // namespace

namespace zt::bus {

BuslineHandle *initIdleSession(const SessionArgs &args, const SessionTiming &timing) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "busline_init_session,mqtt_version=%s,sdk_version=%s", mqttVersionText(),
              sdkVersionText());
  BUSLINE_LOG(zt::log::LOG_DEBUG,
              "busline_init_session,pstrSessionId=%s,nCleanSession=%d,nProtocol=%d,nUseBuslineHead=%d,"
              "pMqttConnectCallback=%p,pMqttRecvMessageCallback=%p,pUserData=%p",
              logText(args.pstrSessionId), args.nCleanSession, args.nProtocol, args.nUseBuslineHead,
              reinterpret_cast<void *>(args.pConnectCallback),
              reinterpret_cast<void *>(args.pRecvMessageCallback), args.pUserData);
  HandleInSetUp pHandle = createHandle("busline_init_session", args, timing);
  if (!pHandle) {
    return nullptr;
  }
  int nRet = pHandle->pZtMosquittoSdk->setOptionInt(MOSQ_OPT_PROTOCOL_VERSION, pHandle->nProtocol);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "busline_init_session,setOptionInt fail,nRet=%d,%s", nRet,
                mosquitto_strerror(nRet));
    return nullptr;
  }
  return pHandle.release();
}

BuslineHandle *initConnectedSession(const char *pstrIP, int nPort, const SessionArgs &args,
                                    const SessionTiming &timing) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "busline_init,mqtt_version=%s,sdk_version=%s", mqttVersionText(),
              sdkVersionText());
  BUSLINE_LOG(
      zt::log::LOG_DEBUG,
      "busline_init,pstrIP=%s,nPort=%d,pstrSessionId=%s,nCleanSession=%d,nProtocol=%d,nUseBuslineHead=%d,"
      "pMqttConnectCallback=%p,pMqttRecvMessageCallback=%p,pUserData=%p",
      logText(pstrIP), nPort, logText(args.pstrSessionId), args.nCleanSession, args.nProtocol,
      args.nUseBuslineHead, reinterpret_cast<void *>(args.pConnectCallback),
      reinterpret_cast<void *>(args.pRecvMessageCallback), args.pUserData);
  // Without a CA there is nothing to connect to safely: no handle at all.
  TlsContext tlsContext = loadTrustedCa("busline_init");
  if (!tlsContext) {
    return nullptr;
  }
  HandleInSetUp pHandle = createHandle("busline_init", args, timing);
  if (!pHandle) {
    return nullptr;
  }
  ZtMosquittoSdk *pSdk = pHandle->pZtMosquittoSdk;
  int nRet = pSdk->setOptionInt(MOSQ_OPT_PROTOCOL_VERSION, pHandle->nProtocol);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "busline_init,setOptionInt MOSQ_OPT_PROTOCOL_VERSION (%d) fail,nRet=%d,%s",
                pHandle->nProtocol, nRet, mosquitto_strerror(nRet));
  }
  BUSLINE_LOG(zt::log::LOG_WARN, "busline_init,enable certificate and user authentication");
  nRet = pSdk->setTlsContext(tlsContext.get());
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "busline_init,setTls fail,nRet=%d,%s", nRet, mosquitto_strerror(nRet));
    return nullptr;
  }
  pSdk->setTlsInsecure(true);
  nRet = pSdk->setUserPwd(kFixedUserName, kFixedPassword);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "busline_init,setUserPwd fail,nRet=%d,%s", nRet, mosquitto_strerror(nRet));
  }
  std::string strHost = (pstrIP != nullptr && pstrIP[0] != '\0') ? pstrIP : kDefaultHost;
  nRet = pSdk->connect(strHost, nPort < 1 ? kDefaultPort : nPort, kDefaultKeepalive, "");
  BUSLINE_LOG(zt::log::LOG_DEBUG, "busline_init,connect,nRet=%d", nRet);
  if (nRet != MOSQ_ERR_SUCCESS) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "busline_init,connect fail,nRet=%d,%s", nRet, mosquitto_strerror(nRet));
    pSdk->onDisconnect(nRet, nullptr);
  }
  pSdk->startThread();
  return pHandle.release();
}

bool exitRefusedOnOwnThread(const BuslineHandle &handle, const char *pstrCaller) {
  if (handle.pZtMosquittoSdk == nullptr || !handle.pZtMosquittoSdk->onNetworkThread()) {
    return false;
  }
  BUSLINE_LOG(zt::log::LOG_ERROR, "%s,called from a callback of the same handle,refused,pHandle=%p", pstrCaller,
              static_cast<const void *>(&handle));
  return true;
}

} // namespace zt::bus

extern "C" {

BuslineHandle *busline_init(const char *pstrIP, int nPort, const char *pstrSessionId, int nCleanSession,
                            int nProtocol, int nUseBuslineHead, nm_mqtt_connect_callback pMqttConnectCallback,
                            nm_mqtt_recv_message_callback pMqttRecvMessageCallback, void *pUserData) {
  return guarded("busline_init", static_cast<BuslineHandle *>(nullptr), [&] {
    zt::bus::SessionArgs args{pstrSessionId,   nCleanSession,        nProtocol,
                              nUseBuslineHead, pMqttConnectCallback, pMqttRecvMessageCallback,
                              pUserData};
    return zt::bus::initConnectedSession(pstrIP, nPort, args, zt::bus::SessionTiming());
  });
}

BuslineHandle *busline_init_session(const char *pstrSessionId, int nCleanSession, int nProtocol,
                                    int nUseBuslineHead, nm_mqtt_connect_callback pMqttConnectCallback,
                                    nm_mqtt_recv_message_callback pMqttRecvMessageCallback, void *pUserData) {
  return guarded("busline_init_session", static_cast<BuslineHandle *>(nullptr), [&] {
    zt::bus::SessionArgs args{pstrSessionId,   nCleanSession,        nProtocol,
                              nUseBuslineHead, pMqttConnectCallback, pMqttRecvMessageCallback,
                              pUserData};
    return zt::bus::initIdleSession(args, zt::bus::SessionTiming());
  });
}

int busline_set_module(BuslineHandle *pHandle, const char *pstrModule) {
  return guarded("busline_set_module", -2, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] busline_set_module,pHandle=%p,pstrModule=%s", moduleOf(pHandle).c_str(),
                static_cast<void *>(pHandle), logText(pstrModule));
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_set_module");
    if (pSdk == nullptr) {
      return -2;
    }
    pSdk->setModule(textOrEmpty(pstrModule));
    return 0;
  });
}

int busline_connect(BuslineHandle *pHandle, const char *pstrIP, int nPort, int nKeepalive,
                    const char *pstrBindAddress) {
  return guarded("busline_connect", -1, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG,
                "[%s] busline_connect,pHandle=%p,pstrIP=%s,nPort=%d,nKeepalive=%d,pstrBindAddress=%s",
                moduleOf(pHandle).c_str(), static_cast<void *>(pHandle), logText(pstrIP), nPort, nKeepalive,
                logText(pstrBindAddress));
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_connect");
    if (pSdk == nullptr) {
      return -2;
    }
    std::string strHost = (pstrIP != nullptr && pstrIP[0] != '\0') ? pstrIP : kDefaultHost;
    int nRet = pSdk->connect(strHost, nPort < 1 ? kDefaultPort : nPort,
                             nKeepalive < 1 ? kDefaultKeepalive : nKeepalive, textOrEmpty(pstrBindAddress));
    if (nRet != MOSQ_ERR_SUCCESS) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "busline_connect,connect fail,nRet=%d,%s", nRet, mosquitto_strerror(nRet));
      pSdk->onDisconnect(nRet, nullptr);
    }
    pSdk->startThread();
    return nRet == MOSQ_ERR_SUCCESS ? 0 : -1;
  });
}

int busline_set_reconnect_delay(BuslineHandle *pHandle, int nReconnectDelay, int nReconnectDelayMax,
                                int nReconnectExponentialBackoff) {
  return guarded("busline_set_reconnect_delay", -3, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG,
                "[%s] busline_set_reconnect_delay,pHandle=%p,nReconnectDelay=%d,nReconnectDelayMax=%d,"
                "nReconnectExponentialBackoff=%d",
                moduleOf(pHandle).c_str(), static_cast<void *>(pHandle), nReconnectDelay, nReconnectDelayMax,
                nReconnectExponentialBackoff);
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_set_reconnect_delay");
    if (pSdk == nullptr) {
      return -2;
    }
    return mapResult(pSdk->setReconnectDelay(unsigned(nReconnectDelay), unsigned(nReconnectDelayMax),
                                             nReconnectExponentialBackoff != 0),
                     "busline_set_reconnect_delay", "setReconnectDelay");
  });
}

int busline_set_will(BuslineHandle *pHandle, const char *pstrTopic, const void *pMessage, int nSize, int nQos,
                     int nRetain, uint32_t uSN, int32_t nType) {
  return guarded("busline_set_will", -3, [&] {
    BUSLINE_LOG(
        zt::log::LOG_DEBUG,
        "[%s] busline_set_will,pHandle=%p,pstrTopic=%s,pMessage=%p,nSize=%d,nQos=%d,nRetain=%d,uSN=%u,nType=%d",
        moduleOf(pHandle).c_str(), static_cast<void *>(pHandle), logText(pstrTopic), pMessage, nSize, nQos,
        nRetain, uSN, nType);
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_set_will");
    if (pSdk == nullptr) {
      return -2;
    }
    if (!validTopic(pstrTopic) || !validQos(nQos)) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "busline_set_will,pstrTopic=%s,nQos=%d", logText(pstrTopic), nQos);
      return -2;
    }
    OutgoingMessage out;
    if (prepareOutgoing(*pHandle, "busline_set_will", pMessage, nSize, uSN, nType, nullptr, out) != 0) {
      return -1;
    }
    int nRet = pSdk->setWill(pstrTopic, out.nSize, out.pPayload, nQos, nRetain != 0, out.pProps);
    if (nRet != MOSQ_ERR_SUCCESS) {
      mosquitto_property_free_all(&out.pProps); // the library keeps the list only on success
      BUSLINE_LOG(zt::log::LOG_ERROR, "busline_set_will,fail,nRet=%d,%s", nRet, mosquitto_strerror(nRet));
      return -3;
    }
    return 0;
  });
}

int busline_clear_will(BuslineHandle *pHandle) {
  return guarded("busline_clear_will", -3, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] busline_clear_will,pHandle=%p", moduleOf(pHandle).c_str(),
                static_cast<void *>(pHandle));
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_clear_will");
    if (pSdk == nullptr) {
      return -2;
    }
    return mapResult(pSdk->clearWill(), "busline_clear_will", "clearWill");
  });
}

int busline_set_user_pwd(BuslineHandle *pHandle, const char *pstrUserName, const char *pstrPassword) {
  return guarded("busline_set_user_pwd", -3, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] busline_set_user_pwd,pHandle=%p,pstrUserName=%s,pstrPassword=******",
                moduleOf(pHandle).c_str(), static_cast<void *>(pHandle), logText(pstrUserName));
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_set_user_pwd");
    if (pSdk == nullptr) {
      return -2;
    }
    return mapResult(pSdk->setUserPwd(textOrEmpty(pstrUserName), textOrEmpty(pstrPassword)),
                     "busline_set_user_pwd", "setUserPwd");
  });
}

int busline_set_tls(BuslineHandle *pHandle, const char *pstrCafile, const char *pstrCertfile,
                    const char *pstrKeyfile, const char *pstrKeyPassword) {
  return guarded("busline_set_tls", -3, [&] {
    BUSLINE_LOG(
        zt::log::LOG_DEBUG,
        "[%s] busline_set_tls,pHandle=%p,pstrCafile=%s,pstrCertfile=%s,pstrKeyfile=%s,pstrKeyPassword=******",
        moduleOf(pHandle).c_str(), static_cast<void *>(pHandle), logText(pstrCafile), logText(pstrCertfile),
        logText(pstrKeyfile));
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_set_tls");
    if (pSdk == nullptr) {
      return -2;
    }
    return mapResult(pSdk->setTls(textOrEmpty(pstrCafile), textOrEmpty(pstrCertfile), textOrEmpty(pstrKeyfile),
                                  textOrEmpty(pstrKeyPassword)),
                     "busline_set_tls", "setTls");
  });
}

int busline_set_tls_option(BuslineHandle *pHandle, int nInsecure, int nCertReqs, const char *pstrTlsVersion,
                           const char *pstrCiphers) {
  return guarded("busline_set_tls_option", -3, [&] {
    BUSLINE_LOG(
        zt::log::LOG_DEBUG,
        "[%s] busline_set_tls_option,pHandle=%p,nInsecure=%d,nCertReqs=%d,pstrTlsVersion=%s,pstrCiphers=%s",
        moduleOf(pHandle).c_str(), static_cast<void *>(pHandle), nInsecure, nCertReqs, logText(pstrTlsVersion),
        logText(pstrCiphers));
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_set_tls_option");
    if (pSdk == nullptr) {
      return -2;
    }
    int nRet = mapResult(pSdk->setTlsInsecure(nInsecure == 1), "busline_set_tls_option", "setTlsInsecure");
    if (nRet != 0) {
      return nRet;
    }
    return mapResult(pSdk->setTlsOption(nCertReqs, textOrEmpty(pstrTlsVersion), textOrEmpty(pstrCiphers)),
                     "busline_set_tls_option", "setTlsOption");
  });
}

int busline_set_tls_psk(BuslineHandle *pHandle, const char *pstrIdentity, const char *pstrPSK,
                        const char *pstrCiphers) {
  return guarded("busline_set_tls_psk", -3, [&] {
    BUSLINE_LOG(
        zt::log::LOG_DEBUG, "[%s] busline_set_tls_psk,pHandle=%p,pstrIdentity=%s,pstrPSK=******,pstrCiphers=%s",
        moduleOf(pHandle).c_str(), static_cast<void *>(pHandle), logText(pstrIdentity), logText(pstrCiphers));
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_set_tls_psk");
    if (pSdk == nullptr) {
      return -2;
    }
    return mapResult(pSdk->setTlsPsk(textOrEmpty(pstrPSK), textOrEmpty(pstrIdentity), textOrEmpty(pstrCiphers)),
                     "busline_set_tls_psk", "setTlsPsk");
  });
}

int busline_get_connect_state(BuslineHandle *pHandle) {
  return guarded("busline_get_connect_state", 0, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] busline_get_connect_state,pHandle=%p", moduleOf(pHandle).c_str(),
                static_cast<void *>(pHandle));
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_get_connect_state");
    return pSdk != nullptr && pSdk->isConnected() ? 1 : 0;
  });
}

int busline_subscribe(BuslineHandle *pHandle, const char *pstrTopic, int nQos) {
  return guarded("busline_subscribe", -3, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] busline_subscribe,pHandle=%p,pstrTopic=%s,nQos=%d",
                moduleOf(pHandle).c_str(), static_cast<void *>(pHandle), logText(pstrTopic), nQos);
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_subscribe");
    if (pSdk == nullptr) {
      return -2;
    }
    if (!validTopic(pstrTopic) || !validQos(nQos)) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "busline_subscribe,pstrTopic=%s,nQos=%d", logText(pstrTopic), nQos);
      return -2;
    }
    int nOptions = pHandle->nProtocol == MQTT_PROTOCOL_V5 ? MQTT_SUB_OPT_NO_LOCAL : 0;
    return mapResult(pSdk->subscribe(pstrTopic, nQos, nOptions), "busline_subscribe", "subscribe");
  });
}

int busline_unsubscribe(BuslineHandle *pHandle, const char *pstrTopic) {
  return guarded("busline_unsubscribe", -3, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] busline_unsubscribe,pHandle=%p,pstrTopic=%s", moduleOf(pHandle).c_str(),
                static_cast<void *>(pHandle), logText(pstrTopic));
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_unsubscribe");
    if (pSdk == nullptr) {
      return -2;
    }
    if (!validTopic(pstrTopic)) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "busline_unsubscribe,pstrTopic=%s", logText(pstrTopic));
      return -2;
    }
    return mapResult(pSdk->unsubscribe(pstrTopic), "busline_unsubscribe", "unsubscribe");
  });
}

int busline_publish(BuslineHandle *pHandle, const char *pstrTopic, const void *pMessage, int nSize, int nQos,
                    int nRetain, uint32_t uSN, int32_t nType, const char *pstrResponseTopic) {
  return guarded("busline_publish", -3, [&] {
    BUSLINE_LOG(
        zt::log::LOG_DEBUG,
        "[%s] busline_publish,pHandle=%p,pstrTopic=%s,pMessage=%p,nSize=%d,nQos=%d,nRetain=%d,uSN=%u,nType=%d,"
        "pstrResponseTopic=%s",
        moduleOf(pHandle).c_str(), static_cast<void *>(pHandle), logText(pstrTopic), pMessage, nSize, nQos,
        nRetain, uSN, nType, logText(pstrResponseTopic));
    ZtMosquittoSdk *pSdk = sessionOf(pHandle, "busline_publish");
    if (pSdk == nullptr) {
      return -2;
    }
    if (!validTopic(pstrTopic) || !validResponseTopic(pstrResponseTopic) || !validQos(nQos)) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "busline_publish,pstrTopic=%s,pstrResponseTopic=%s,nQos=%d",
                  logText(pstrTopic), logText(pstrResponseTopic), nQos);
      return -2;
    }
    OutgoingMessage out;
    if (prepareOutgoing(*pHandle, "busline_publish", pMessage, nSize, uSN, nType, pstrResponseTopic, out) !=
        0) {
      return -1;
    }
    int nRet = pSdk->publish(pstrTopic, out.nSize, out.pPayload, nQos, nRetain != 0, out.pProps);
    mosquitto_property_free_all(&out.pProps);
    if (nRet != MOSQ_ERR_SUCCESS) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "busline_publish,fail,nRet=%d,%s", nRet, mosquitto_strerror(nRet));
      return -3;
    }
    return 0;
  });
}

void busline_exit(BuslineHandle *pHandle) {
  guarded("busline_exit", [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "[%s] busline_exit,pHandle=%p", moduleOf(pHandle).c_str(),
                static_cast<void *>(pHandle));
    if (pHandle == nullptr) {
      BUSLINE_LOG(zt::log::LOG_WARN, "busline_exit,pBuslineHandle is nullptr");
      return;
    }
    if (zt::bus::exitRefusedOnOwnThread(*pHandle, "busline_exit")) {
      return;
    }
    if (ZtMosquittoSdk *pSdk = pHandle->pZtMosquittoSdk) {
      pSdk->exitThread();
      pSdk->destroy();
      delete pSdk;
    } else {
      BUSLINE_LOG(zt::log::LOG_WARN, "busline_exit,pZtMosquittoSdk is nullptr");
    }
    char szHandle[32]; // the address is printed after the handle is gone
    std::snprintf(szHandle, sizeof szHandle, "%p", static_cast<void *>(pHandle));
    delete pHandle;
    BUSLINE_LOG(zt::log::LOG_DEBUG, "busline_exit,end,pHandle=%s", szHandle);
  });
}

} // extern "C"
