// The local comm API: one process-wide session under the application id, and one callback per
// message id for point-to-point and broadcast messages alike.
#include <map>
#include <mutex>
#include <string>

#include "busline_boundary.h"
#include "busline_comm.h"
#include "busline_log.h"
#include "comm_topics.h"
#include "local_api_support.h"
#include "local_session.h"

using zt::bus::guarded;
using zt::bus::logText;

namespace {

struct CommCallback {
  comm_msg_callback pCallback = nullptr;
  void *pUserData = nullptr;
};

// The session; its mutex guards the three below as well.
zt::bus::LocalSession g_commSession;
std::string g_strAppId;
int g_nRefCount = 0;
std::map<std::string, CommCallback> g_mapCallbacks;

void onCommMessage(const char *pstrSourceTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                   uint32_t uSN, int32_t nType, const char *pstrResponseTopic, void *pUserData) {
  guarded("comm_recv_msg_cb", [&] {
    zt::bus::PayloadText payload(pMessage, nSize);
    BUSLINE_LOG(zt::log::LOG_DEBUG,
                "comm_recv_msg_cb,pstrSourceTopic=%s,pMessage=%.*s,nSize=%d,nQos=%d,nRetain=%d,uSN=0x%x,"
                "nType=0x%x,pstrResponseTopic=%s,pUserData=%p",
                logText(pstrSourceTopic), payload.nLen, payload.pstr, nSize, nQos, nRetain, uSN,
                unsigned(nType), logText(pstrResponseTopic), pUserData);
    zt::bus::CommTopicIds ids = zt::bus::parseCommTopic(pstrSourceTopic);
    CommCallback callback;
    {
      std::lock_guard<std::recursive_mutex> lock(g_commSession.mutex());
      auto it = g_mapCallbacks.find(ids.strMsgId);
      if (it != g_mapCallbacks.end()) {
        callback = it->second;
      }
    }
    if (callback.pCallback == nullptr) {
      BUSLINE_LOG(zt::log::LOG_WARN,
                  "comm_nm_mqtt_recv_message_callback,pstrSourceTopic=%s,not find callback!!!!!!",
                  logText(pstrSourceTopic));
      return;
    }
    callback.pCallback(ids.strSourceAppId.c_str(), ids.strMsgId.c_str(), uSN, nType, pMessage, nSize,
                       callback.pUserData);
  });
}

// comm_subscribe and comm_subscribe_bc.
int subscribe(const char *pstrFunction, const char *pstrMsgId, comm_msg_callback pCallback, void *pUserData,
              bool bBroadcast) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,pstrMsgId=%s,pCallback=%p", pstrFunction, logText(pstrMsgId),
              reinterpret_cast<void *>(pCallback));
  if (!zt::bus::validCommId(pstrMsgId) || pCallback == nullptr) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "comm_subscribe,parameter invalid,pstrMsgId=%s,pCallback=%p",
                logText(pstrMsgId), reinterpret_cast<void *>(pCallback));
    return -2;
  }
  std::lock_guard<std::recursive_mutex> lock(g_commSession.mutex());
  g_mapCallbacks[pstrMsgId] = CommCallback{pCallback, pUserData};
  std::string strTopic = bBroadcast ? zt::bus::commBroadcastSubscription(pstrMsgId)
                                    : zt::bus::commPointToPointSubscription(g_strAppId, pstrMsgId);
  return busline_subscribe(g_commSession.handle(), strTopic.c_str(), 0);
}

// comm_unsubscribe and comm_unsubscribe_bc.
int unsubscribe(const char *pstrFunction, const char *pstrMsgId, bool bBroadcast) {
  BUSLINE_LOG(zt::log::LOG_DEBUG, "%s,pstrMsgId=%s", pstrFunction, logText(pstrMsgId));
  if (!zt::bus::validCommId(pstrMsgId)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,parameter invalid,pstrMsgId=%s", pstrFunction, logText(pstrMsgId));
    return -2;
  }
  std::lock_guard<std::recursive_mutex> lock(g_commSession.mutex());
  g_mapCallbacks.erase(pstrMsgId);
  std::string strTopic = bBroadcast ? zt::bus::commBroadcastSubscription(pstrMsgId)
                                    : zt::bus::commPointToPointSubscription(g_strAppId, pstrMsgId);
  return busline_unsubscribe(g_commSession.handle(), strTopic.c_str());
}

// Sends on the comm session; strTopic is built from the own application id by makeTopic.
template <typename MakeTopic>
int publish(MakeTopic makeTopic, const void *pMessage, int nSize, uint32_t uSN, int nCmd) {
  std::lock_guard<std::recursive_mutex> lock(g_commSession.mutex());
  std::string strTopic = makeTopic(g_strAppId);
  return busline_publish(g_commSession.handle(), strTopic.c_str(), pMessage, nSize, 0, 0, uSN, nCmd, nullptr);
}

} // namespace

extern "C" {

int comm_init(const char *pstrAppId) {
  return guarded("comm_init", -1, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "comm_init,pstrAppId=%s", logText(pstrAppId));
    if (!zt::bus::validCommId(pstrAppId)) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "comm_init,parameter invalid,pstrAppId=%s", logText(pstrAppId));
      return -2;
    }
    zt::bus::LocalSession::Lock lock(g_commSession.mutex());
    if (!g_commSession.waitWhileOpening(lock)) {
      return 0; // in a callback of the session this thread is opening
    }
    if (g_commSession.handle() != nullptr) {
      ++g_nRefCount;
      BUSLINE_LOG(zt::log::LOG_WARN, "comm_init,the init called");
      return 0;
    }
    g_strAppId = pstrAppId;
    if (!g_commSession.open(lock, "comm_init", pstrAppId, nullptr, onCommMessage)) {
      return -1;
    }
    g_nRefCount = 1;
    return 0;
  });
}

int comm_subscribe(const char *pstrMsgId, comm_msg_callback pCallback, void *pUserData) {
  return guarded("comm_subscribe", -3,
                 [&] { return subscribe("comm_subscribe", pstrMsgId, pCallback, pUserData, false); });
}

int comm_subscribe_bc(const char *pstrMsgId, comm_msg_callback pCallback, void *pUserData) {
  return guarded("comm_subscribe_bc", -3,
                 [&] { return subscribe("comm_subscribe_bc", pstrMsgId, pCallback, pUserData, true); });
}

int comm_unsubscribe(const char *pstrMsgId) {
  return guarded("comm_unsubscribe", -3, [&] { return unsubscribe("comm_unsubscribe", pstrMsgId, false); });
}

int comm_unsubscribe_bc(const char *pstrMsgId) {
  return guarded("comm_unsubscribe_bc", -3,
                 [&] { return unsubscribe("comm_unsubscribe_bc", pstrMsgId, true); });
}

int comm_publish(const char *pstrAppId, const char *pstrMsgId, const void *pMessage, int nSize, uint32_t uSN,
                 int nCmd) {
  return guarded("comm_publish", -3, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG,
                "comm_publish,pstrAppId=%s,pstrMsgId=%s,pMessage=%p,nSize=%d,uSN=0x%x,nCmd=0x%X",
                logText(pstrAppId), logText(pstrMsgId), pMessage, nSize, uSN, unsigned(nCmd));
    if (!zt::bus::validCommId(pstrAppId) || !zt::bus::validCommId(pstrMsgId) ||
        !zt::bus::validPayload(pMessage, nSize)) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "comm_publish,parameter invalid,pstrAppId=%s,pstrMsgId=%s",
                  logText(pstrAppId), logText(pstrMsgId));
      return -2;
    }
    return publish(
        [&](const std::string &strOwnAppId) {
          return zt::bus::commPointToPointTopic(pstrAppId, pstrMsgId, strOwnAppId);
        },
        pMessage, nSize, uSN, nCmd);
  });
}

int comm_publish_bc(const char *pstrMsgId, const void *pMessage, int nSize, uint32_t uSN, int nCmd) {
  return guarded("comm_publish_bc", -3, [&] {
    BUSLINE_LOG(zt::log::LOG_DEBUG, "comm_publish_bc,pstrMsgId=%s,pMessage=%p,nSize=%d,uSN=0x%x,nCmd=0x%X",
                logText(pstrMsgId), pMessage, nSize, uSN, unsigned(nCmd));
    if (!zt::bus::validCommId(pstrMsgId) || !zt::bus::validPayload(pMessage, nSize)) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "comm_publish_bc,parameter invalid,pstrMsgId=%s", logText(pstrMsgId));
      return -2;
    }
    return publish(
        [&](const std::string &strOwnAppId) { return zt::bus::commBroadcastTopic(pstrMsgId, strOwnAppId); },
        pMessage, nSize, uSN, nCmd);
  });
}

void comm_exit(void) {
  guarded("comm_exit", [&] {
    zt::bus::LocalSession::Lock lock(g_commSession.mutex());
    bool bSettled = g_commSession.waitWhileOpening(lock);
    BUSLINE_LOG(zt::log::LOG_DEBUG, "comm_exit,g_pCommsdkHandle=%p",
                static_cast<void *>(g_commSession.handle()));
    if (bSettled && g_nRefCount > 1) {
      --g_nRefCount;
      return;
    }
    BuslineHandle *pClosing = g_commSession.takeForClosing("comm_exit");
    if (pClosing == nullptr) {
      return; // none open, or called from one of its callbacks
    }
    g_nRefCount = 0;
    lock.unlock();
    busline_exit(pClosing);
  });
}

} // extern "C"
