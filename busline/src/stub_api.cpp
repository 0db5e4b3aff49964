// The management stub API: one process-wide session "stubsdk", the resources registered on
// it and their retained states, which are published again on every connection.
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "busline_boundary.h"
#include "busline_log.h"
#include "busline_stub.h"
#include "local_api_support.h"
#include "local_session.h"

using zt::bus::guarded;
using zt::bus::logText;

namespace {

constexpr size_t kMaxResourceIdLen = 128;
constexpr const char *kStubToNmsPrefix = "nm/up/stub-nms";
constexpr int32_t kTypeRegistration = 100;
constexpr int32_t kTypeNotification = 101;

// What arrives on a topic: a registered resource's callback or a subscriber's.
struct StubEntry {
  nm_stub_resource_callback pResourceCallback = nullptr;
  nm_mqtt_recv_message_callback pMessageCallback = nullptr;
};

// The session "stubsdk"; its mutex guards the three below as well.
zt::bus::LocalSession g_stubSession;
std::string g_strStubToNmsTopic;
std::map<std::string, StubEntry> g_mapResources;
std::map<std::string, std::string> g_mapRetained; // resource id -> last retained payload

std::atomic<nm_stub_connect_callback> g_pConnectCallback{nullptr};

// The caller holds the session's mutex. Logs the refusal when there is no session.
bool initialised(const char *pstrFunction) {
  if (g_stubSession.handle() == nullptr) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,not call nm_stub_init,g_pStubsdkHandle=%p", pstrFunction,
                static_cast<void *>(g_stubSession.handle()));
    return false;
  }
  return true;
}

bool validTopic(const char *pstrTopic) {
  return zt::bus::textLengthWithin(pstrTopic, kMaxResourceIdLen);
}

// nm_stub_notify, nm_stub_notify_retained and nm_stub_publish: logs the call, checks its
// arguments and the session, and then runs send() under the session's mutex.
template <typename Send>
int sendResourceMessage(const char *pstrFunction, const char *pstrResourceId, const void *pData, int nSize,
                        Send send) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,pstrResourceId=%s,pData=%p,nSize=%d", pstrFunction,
              logText(pstrResourceId), pData, nSize);
  if (!validTopic(pstrResourceId) || !zt::bus::validPayload(pData, nSize)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,pstrResourceId=%s,pData=%p", pstrFunction, logText(pstrResourceId),
                pData);
    return -2;
  }
  std::lock_guard<std::recursive_mutex> lock(g_stubSession.mutex());
  return initialised(pstrFunction) ? send() : -4;
}

// Publishes on the stub session with SN 0; a failure is logged under pstrFunction.
int publishOnStub(const char *pstrFunction, const char *pstrTopic, const void *pData, int nSize, int nQos,
                  int nRetain, int32_t nType, const char *pstrResponseTopic) {
  int nRet = busline_publish(g_stubSession.handle(), pstrTopic, pData, nSize, nQos, nRetain, 0, nType,
                             pstrResponseTopic);
  if (nRet != 0) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,busline_publish fail", pstrFunction);
  }
  return nRet;
}

int publishRetained(const std::string &strResourceId, const std::string &strData) {
  return publishOnStub("nm_stub_notify_retained", strResourceId.c_str(), strData.data(), int(strData.size()),
                       2, 1, 0, strResourceId.c_str());
}

// On every connection all retained states go out again, in resource-id order. The mutex is held
// throughout, so that a state given meanwhile is neither overtaken nor replaced by an older one;
// a connection made while nm_stub_init is still storing the session waits for it.
void sendRetainMessage() {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "stubsdk,sendRetainMessage,begin");
  zt::bus::LocalSession::Lock lock(g_stubSession.mutex());
  g_stubSession.waitWhileOpening(lock);
  if (g_stubSession.handle() != nullptr) {
    for (const auto &[strResourceId, strData] : g_mapRetained) {
      publishRetained(strResourceId, strData);
    }
  }
  BUSLINE_LOG(zt::log::LOG_DEBUG, "stubsdk,sendRetainMessage,end");
}

void onStubConnect(int nConnectStatus, void *pUserData) {
  guarded("stub_nm_mqtt_connect_callback", [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "stub_nm_mqtt_connect_callback,nConnectStatus=%d,pUserData=%p",
                nConnectStatus, pUserData);
    if (nConnectStatus == 0) {
      sendRetainMessage();
    }
    if (nm_stub_connect_callback pCallback = g_pConnectCallback.load()) {
      pCallback(nConnectStatus);
    }
  });
}

void onStubMessage(const char *pstrSourceTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                   uint32_t uSN, int32_t nType, const char *pstrResponseTopic, void *pUserData) {
  guarded("stub_nm_mqtt_recv_message_callback", [&] {
    zt::bus::PayloadText payload(pMessage, nSize);
    BUSLINE_LOG(
        zt::log::LOG_DEBUG,
        "stub_nm_mqtt_recv_message_callback,pstrSourceTopic=%s,pMessage=%.*s,nSize=%d,nQos=%d,nRetain=%d,"
        "uSN=0x%x,nType=0x%x,pstrResponseTopic=%s,pUserData=%p",
        logText(pstrSourceTopic), payload.nLen, payload.pstr, nSize, nQos, nRetain, uSN, unsigned(nType),
        logText(pstrResponseTopic), pUserData);
    StubEntry entry;
    {
      std::lock_guard<std::recursive_mutex> lock(g_stubSession.mutex());
      auto it = g_mapResources.find(pstrSourceTopic != nullptr ? pstrSourceTopic : "");
      if (it != g_mapResources.end()) {
        entry = it->second;
      }
    }
    if (entry.pResourceCallback != nullptr) {
      entry.pResourceCallback(pstrSourceTopic, pMessage, nSize);
    }
    if (entry.pMessageCallback != nullptr) {
      entry.pMessageCallback(pstrSourceTopic, pMessage, nSize, nQos, nRetain, uSN, nType, pstrResponseTopic,
                             pUserData);
    }
  });
}

// nm_stub_unregister and nm_stub_unsubscribe: the topic's entry and subscription end. The
// retained state of a resource stays.
int forgetTopic(const char *pstrFunction, const char *pstrArgName, const char *pstrTopic) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,%s=%s", pstrFunction, pstrArgName, logText(pstrTopic));
  std::lock_guard<std::recursive_mutex> lock(g_stubSession.mutex());
  if (!initialised(pstrFunction)) {
    return -4;
  }
  if (!validTopic(pstrTopic)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,%s=%s", pstrFunction, pstrArgName, logText(pstrTopic));
    return -2;
  }
  g_mapResources.erase(pstrTopic);
  return busline_unsubscribe(g_stubSession.handle(), pstrTopic);
}

// nm_stub_publish_2 and nm_stub_publish_3.
int publishAnyTopic(const char *pstrFunction, bool bOnlyConnected, const char *pstrTopic,
                    const void *pMessage, int nSize, int nQos, int nRetain, uint32_t uSN, int32_t nType,
                    const char *pstrResponseTopic) {
  BUSLINE_LOG(zt::log::LOG_DEBUG,
              "%s,pstrTopic=%s,pMessage=%p,nSize=%d,nQos=%d,nRetain=%d,uSN=0x%x,nType=0x%x", pstrFunction,
              logText(pstrTopic), pMessage, nSize, nQos, nRetain, uSN, unsigned(nType));
  std::lock_guard<std::recursive_mutex> lock(g_stubSession.mutex());
  if (!initialised(pstrFunction)) {
    return -4;
  }
  if (!zt::bus::validPayload(pMessage, nSize)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,pMessage=%p,nSize=%d", pstrFunction, pMessage, nSize);
    return -2;
  }
  if (bOnlyConnected && busline_get_connect_state(g_stubSession.handle()) != 1) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,isConnected false", pstrFunction);
    return -9;
  }
  return busline_publish(g_stubSession.handle(), pstrTopic, pMessage, nSize, nQos, nRetain, uSN, nType,
                         pstrResponseTopic);
}

} // namespace

extern "C" {

int nm_stub_init(void) {
  return guarded("nm_stub_init", -1, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "nm_stub_init");
    zt::bus::LocalSession::Lock lock(g_stubSession.mutex());
    // Open already, or being opened by this thread, which runs a callback of that session.
    if (!g_stubSession.waitWhileOpening(lock) || g_stubSession.handle() != nullptr) {
      return 0;
    }
    char szMac[18] = "";
    if (nm_get_mac_addr_by_netname(szMac, nullptr) != 0) {
      szMac[0] = '\0';
    }
    g_strStubToNmsTopic = std::string(kStubToNmsPrefix) + "/" + szMac;
    BUSLINE_LOG(zt::log::LOG_DEBUG, "nm_stub_init,strStubToNmsTopic=%s", g_strStubToNmsTopic.c_str());
    return g_stubSession.open(lock, "nm_stub_init", "stubsdk", onStubConnect, onStubMessage) ? 0 : -1;
  });
}

void nm_stub_set_connect_callback(nm_stub_connect_callback pCallback) {
  guarded("nm_stub_set_connect_callback", [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "nm_stub_set_connect_callback,pCallback=%p",
                reinterpret_cast<void *>(pCallback));
    g_pConnectCallback.store(pCallback);
  });
}

int nm_stub_register(const char *pstrResourceId, nm_stub_resource_callback pCallback) {
  return guarded("nm_stub_register", -3, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "nm_stub_register,pstrResourceId=%s,pCallback=%p",
                logText(pstrResourceId), reinterpret_cast<void *>(pCallback));
    if (!validTopic(pstrResourceId) || pCallback == nullptr) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "nm_stub_register,pstrResourceId=%s,pCallback=%p",
                  logText(pstrResourceId), reinterpret_cast<void *>(pCallback));
      return -2;
    }
    std::lock_guard<std::recursive_mutex> lock(g_stubSession.mutex());
    if (!initialised("nm_stub_register")) {
      return -4;
    }
    g_mapResources[pstrResourceId] = StubEntry{pCallback, nullptr};
    if (busline_subscribe(g_stubSession.handle(), pstrResourceId, 2) != 0) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "nm_stub_register,busline_subscribe fail");
    }
    // The registration carries the id with its terminating zero byte.
    return publishOnStub("nm_stub_register", g_strStubToNmsTopic.c_str(), pstrResourceId,
                         int(std::strlen(pstrResourceId)) + 1, 1, 0, kTypeRegistration, pstrResourceId);
  });
}

int nm_stub_unregister(const char *pstrResourceId) {
  return guarded("nm_stub_unregister", -3,
                 [&] { return forgetTopic("nm_stub_unregister", "pstrResourceId", pstrResourceId); });
}

int nm_stub_notify(const char *pstrResourceId, const void *pData, int nSize) {
  return guarded("nm_stub_notify", -3, [&] {
    return sendResourceMessage("nm_stub_notify", pstrResourceId, pData, nSize, [&] {
      return publishOnStub("nm_stub_notify", g_strStubToNmsTopic.c_str(), pData, nSize, 2, 0,
                           kTypeNotification, pstrResourceId);
    });
  });
}

int nm_stub_notify_retained(const char *pstrResourceId, const void *pData, int nSize) {
  return guarded("nm_stub_notify_retained", -3, [&] {
    return sendResourceMessage("nm_stub_notify_retained", pstrResourceId, pData, nSize, [&] {
      BUSLINE_LOG(zt::log::LOG_DEBUG, "stubsdk,addRetainMessage,pstrResourceId=%s,pData=%p,nSize=%d",
                  pstrResourceId, pData, nSize);
      std::string &strRetained = g_mapRetained[pstrResourceId];
      strRetained.assign(static_cast<const char *>(pData), size_t(nSize));
      return publishRetained(pstrResourceId, strRetained);
    });
  });
}

int nm_stub_publish(const char *pstrResourceId, const void *pData, int nSize, int nType) {
  return guarded("nm_stub_publish", -3, [&] {
    return sendResourceMessage("nm_stub_publish", pstrResourceId, pData, nSize, [&] {
      return publishOnStub("nm_stub_publish", pstrResourceId, pData, nSize, 1, 0, nType, nullptr);
    });
  });
}

int nm_stub_subscribe(const char *pstrTopic, int nQos, nm_mqtt_recv_message_callback pCallback) {
  return guarded("nm_stub_subscribe", -3, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "nm_stub_subscribe,pstrTopic=%s,nQos=%d,pCallback=%p", logText(pstrTopic),
                nQos, reinterpret_cast<void *>(pCallback));
    std::lock_guard<std::recursive_mutex> lock(g_stubSession.mutex());
    if (!initialised("nm_stub_subscribe")) {
      return -4;
    }
    if (!validTopic(pstrTopic)) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "nm_stub_subscribe,pstrTopic=%s,nQos=%d", logText(pstrTopic), nQos);
      return -2;
    }
    g_mapResources[pstrTopic] = StubEntry{nullptr, pCallback};
    return busline_subscribe(g_stubSession.handle(), pstrTopic, nQos);
  });
}

int nm_stub_unsubscribe(const char *pstrTopic) {
  return guarded("nm_stub_unsubscribe", -3,
                 [&] { return forgetTopic("nm_stub_unsubscribe", "pstrTopic", pstrTopic); });
}

int nm_stub_publish_2(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                      uint32_t uSN, int32_t nType, const char *pstrResponseTopic) {
  return guarded("nm_stub_publish_2", -3, [&] {
    return publishAnyTopic("nm_stub_publish_2", false, pstrTopic, pMessage, nSize, nQos, nRetain, uSN, nType,
                           pstrResponseTopic);
  });
}

int nm_stub_publish_3(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                      uint32_t uSN, int32_t nType, const char *pstrResponseTopic) {
  return guarded("nm_stub_publish_3", -3, [&] {
    return publishAnyTopic("nm_stub_publish_3", true, pstrTopic, pMessage, nSize, nQos, nRetain, uSN, nType,
                           pstrResponseTopic);
  });
}

void nm_stub_exit(void) {
  guarded("nm_stub_exit", [&] {
    zt::bus::LocalSession::Lock lock(g_stubSession.mutex());
    g_stubSession.waitWhileOpening(lock);
    BUSLINE_LOG(zt::log::LOG_ERROR, "nm_stub_exit,g_pStubsdkHandle=%p",
                static_cast<void *>(g_stubSession.handle()));
    BuslineHandle *pClosing = g_stubSession.takeForClosing("nm_stub_exit");
    lock.unlock();
    if (pClosing != nullptr) {
      busline_exit(pClosing);
    }
  });
}

} // extern "C"
