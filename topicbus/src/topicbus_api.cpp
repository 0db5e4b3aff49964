// The exported ZTM2045_ functions.
#include "topicbus.h"

#include "busline_log.h"
#include "c_boundary.h"
#include "create_handle.h"
#include "exited_handles.h"
#include "topicbus_identity.h"

namespace {

void logException(const char *pstrFunction, const char *pstrWhat) {
  BUSLINE_LOG(zt::log::LOG_ERROR, "%s,exception,%s", pstrFunction, pstrWhat);
}

// Every exported function: the log set up first, no exception out.
template <typename Result, typename Body>
Result guarded(const char *pstrFunction, Result failure, Body &&body) {
  zt::tb::useTopicbusLog();
  return zt::guardedCall(pstrFunction, failure, logException, body);
}

bool isNullHandle(const TopicbusHandle *pHandle) {
  if (pHandle == nullptr) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "无效的参数！");
    return true;
  }
  return false;
}

zt::tb::StartUpArgs startUpArgs(const char *pstrIP, int nPort, const char *pstrSessionId, int nCleanSession,
                                const char *pstrUserName, const char *pstrPassword, bool bWithWill,
                                const char *pstrWillTopic, const char *pstrWillMessage, int nWillRetain,
                                nm_mqtt_connect_callback pConnectCallback,
                                nm_mqtt_recv_message_callback pRecvMessageCallback, void *pUserData) {
  zt::tb::StartUpArgs args;
  args.pstrIP = pstrIP;
  args.nPort = nPort;
  args.pstrSessionId = pstrSessionId;
  args.nCleanSession = nCleanSession;
  args.pstrUserName = pstrUserName;
  args.pstrPassword = pstrPassword;
  args.bWithWill = bWithWill;
  args.pstrWillTopic = pstrWillTopic;
  args.pstrWillMessage = pstrWillMessage;
  args.nWillRetain = nWillRetain;
  args.pConnectCallback = pConnectCallback;
  args.pRecvMessageCallback = pRecvMessageCallback;
  args.pUserData = pUserData;
  return args;
}

TopicbusHandle *create(const char *pstrFunction, zt::tb::SecurityMode eMode, const zt::tb::StartUpArgs &args,
                       const zt::tb::PskArgs &psk = {}) {
  return guarded(pstrFunction, static_cast<TopicbusHandle *>(nullptr),
                 [&] { return zt::tb::createHandle(eMode, args, psk, zt::bus::SessionTiming()); });
}

} // namespace

extern "C" {

TopicbusHandle *ZTM2045_Create(const char *pstrIP, int nPort, const char *pstrSessionId, int nCleanSession,
                               const char *pstrUserName, const char *pstrPassword,
                               nm_mqtt_connect_callback pConnectCallback,
                               nm_mqtt_recv_message_callback pRecvMessageCallback, void *pUserData) {
  return create("ZTM2045_Create", zt::tb::SecurityMode::Plain,
                startUpArgs(pstrIP, nPort, pstrSessionId, nCleanSession, pstrUserName, pstrPassword, false,
                            nullptr, nullptr, 0, pConnectCallback, pRecvMessageCallback, pUserData));
}

TopicbusHandle *ZTM2045_CreateEx(const char *pstrIP, int nPort, const char *pstrSessionId, int nCleanSession,
                                 const char *pstrUserName, const char *pstrPassword,
                                 const char *pstrWillTopic, const char *pstrWillMessage, int nWillRetain,
                                 nm_mqtt_connect_callback pConnectCallback,
                                 nm_mqtt_recv_message_callback pRecvMessageCallback, void *pUserData) {
  return create("ZTM2045_CreateEx", zt::tb::SecurityMode::Plain,
                startUpArgs(pstrIP, nPort, pstrSessionId, nCleanSession, pstrUserName, pstrPassword, true,
                            pstrWillTopic, pstrWillMessage, nWillRetain, pConnectCallback,
                            pRecvMessageCallback, pUserData));
}

TopicbusHandle *ZTM2045_CreateTLS(const char *pstrIP, int nPort, const char *pstrSessionId, int nCleanSession,
                                  const char *pstrUserName, const char *pstrPassword,
                                  const char *pstrWillTopic, const char *pstrWillMessage, int nWillRetain,
                                  nm_mqtt_connect_callback pConnectCallback,
                                  nm_mqtt_recv_message_callback pRecvMessageCallback, void *pUserData) {
  return create("ZTM2045_CreateTLS", zt::tb::SecurityMode::Tls,
                startUpArgs(pstrIP, nPort, pstrSessionId, nCleanSession, pstrUserName, pstrPassword, true,
                            pstrWillTopic, pstrWillMessage, nWillRetain, pConnectCallback,
                            pRecvMessageCallback, pUserData));
}

TopicbusHandle *ZTM2045_CreatePSK(const char *pstrIP, int nPort, const char *pstrSessionId, int nCleanSession,
                                  const char *pstrUserName, const char *pstrPassword,
                                  const char *pstrWillTopic, const char *pstrWillMessage, int nWillRetain,
                                  const char *pstrIdentity, const char *pstrPSK, const char *pstrCiphers,
                                  nm_mqtt_connect_callback pConnectCallback,
                                  nm_mqtt_recv_message_callback pRecvMessageCallback, void *pUserData) {
  return create("ZTM2045_CreatePSK", zt::tb::SecurityMode::Psk,
                startUpArgs(pstrIP, nPort, pstrSessionId, nCleanSession, pstrUserName, pstrPassword, true,
                            pstrWillTopic, pstrWillMessage, nWillRetain, pConnectCallback,
                            pRecvMessageCallback, pUserData),
                {pstrIdentity, pstrPSK, pstrCiphers});
}

int ZTM2045_Subscribe(TopicbusHandle *pHandle, const char *pstrTopic, int nQos) {
  return guarded("ZTM2045_Subscribe", -3,
                 [&] { return isNullHandle(pHandle) ? -2 : pHandle->subscribe(pstrTopic, nQos); });
}

int ZTM2045_Unsubscribe(TopicbusHandle *pHandle, const char *pstrTopic) {
  return guarded("ZTM2045_Unsubscribe", -3,
                 [&] { return isNullHandle(pHandle) ? -2 : pHandle->unsubscribe(pstrTopic); });
}

int ZTM2045_Publish(TopicbusHandle *pHandle, const char *pstrTopic, const void *pMessage, int nSize, int nQos,
                    int nRetain, uint32_t uSN, int32_t nType, const char *pstrResponseTopic) {
  return guarded("ZTM2045_Publish", -3, [&] {
    return isNullHandle(pHandle)
               ? -2
               : pHandle->publish(pstrTopic, pMessage, nSize, nQos, nRetain, uSN, nType, pstrResponseTopic);
  });
}

int ZTM2045_Exit(TopicbusHandle *pHandle) {
  return guarded("ZTM2045_Exit", -3, [&] {
    if (isNullHandle(pHandle)) {
      return -2;
    }
    int nRet = pHandle->exit();
    if (nRet != -2) {
      zt::tb::keepExitedHandle(pHandle);
    }
    return nRet;
  });
}

int ZTM2045_GetModuleInfo(void *pModuleInfo) {
  return guarded("ZTM2045_GetModuleInfo", -2, [&] {
    if (pModuleInfo == nullptr) {
      return -2;
    }
    zt::tb::fillTopicbusModuleInfo(pModuleInfo);
    return 0;
  });
}

nm_log_callback ZTM2045_SetLogCallback(nm_log_callback pCallback) {
  return guarded("ZTM2045_SetLogCallback", pCallback, [&] {
    if (pCallback != nullptr) {
      zt::bus::BuslineLog::instance().setCallback(pCallback);
    }
    return pCallback;
  });
}

} // extern "C"
