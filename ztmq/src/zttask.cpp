// The exported task functions.
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "ZTMQConfig.h"
#include "ZTMQImplFactory.h"
#include "message_codec.h"
#include "zt_common.h"
#include "ztmq.h"
#include "ztmq_guard.h"
#include "ztmq_log.h"

using zt::mq::kResultOfException;
using zt::mq::ZTMQConfig;
using zt::mq::ztmqGuarded;
using Factory = zt::mq::ZTMQImpl::Factory;

namespace {

std::string textOf(const char *pstr) {
  return pstr != nullptr ? pstr : "";
}

const char *logText(const char *pstr) {
  return pstr != nullptr ? pstr : "(null)";
}

// Creates a receiving task with newImpl or newImplEx and sets its idle callback. pstrFailure
// is the log text of a failure, with the id and the error.
template <typename Callback>
int createTask(const char *pstrFailure, const char *pstrId, Callback pCallback, ZtmqIdleCallback pIdle,
               void *pUser) {
  if (pstrId == nullptr || pCallback == nullptr) {
    ZTMQ_LOG_ERROR(pstrFailure, logText(pstrId), -1);
    return -1;
  }
  int nError = 0;
  std::shared_ptr<zt::mq::ZTMQImpl> pImpl;
  if constexpr (std::is_same_v<Callback, ZtmqRecvCallback>) {
    pImpl = Factory::instance().newImpl(pstrId, pCallback, pUser, nError);
  } else {
    pImpl = Factory::instance().newImplEx(pstrId, pCallback, pUser, nError);
  }
  if (nError != 0) {
    ZTMQ_LOG_ERROR(pstrFailure, pstrId, nError);
    return nError;
  }
  pImpl->setIdleCallback(pIdle);
  return 0;
}

} // namespace

extern "C" {

ZTMQ_API int ZTModuleInfo(void *record) {
  return ztmqGuarded("ZTModuleInfo", -1, [&] {
    if (record == nullptr) {
      return -1;
    }
    zt::fillModuleInfo(record, "V1.1.1", __DATE__ " " __TIME__, "ZTM2043", "消息子系统");
    return 0;
  });
}

ZTMQ_API int ZTSetLogFunc(ZtmqLogFunc func) {
  return ztmqGuarded("ZTSetLogFunc", -1, [&] {
    if (func == nullptr) {
      return -1;
    }
    zt::mq::setLogFunction(func);
    return 0;
  });
}

ZTMQ_API int ZTCreateTask(const char *id, ZtmqRecvCallback callback, void *user) {
  return ztmqGuarded("ZTCreateTask", kResultOfException, [&] {
    ZTMQ_LOG_INFO("ZTCreateTask id:%s new.", logText(id));
    return createTask("ZTCreateTask id:%s.failed,nErrorNo:%d.\n", id, callback, nullptr, user);
  });
}

ZTMQ_API int ZTCreateTaskWithIdleCallback(const char *id, ZtmqRecvCallback callback, ZtmqIdleCallback idle,
                                          void *user) {
  return ztmqGuarded("ZTCreateTaskWithIdleCallback", kResultOfException, [&] {
    ZTMQ_LOG_INFO("ZTCreateTaskWithIdleCallback id:%s new.", logText(id));
    return createTask("ZTCreateTaskWithIdleCallback id:%s error,nErrorNo:%d.\n", id, callback, idle, user);
  });
}

ZTMQ_API int ZTCreateTaskEx(const char *id, ZtmqRecvCallbackEx callback, ZtmqIdleCallback idle, void *user) {
  return ztmqGuarded("ZTCreateTaskEx", kResultOfException, [&] {
    ZTMQ_LOG_INFO("ZTCreateTaskEx id:%s new.", logText(id));
    return createTask("ZTCreateTaskEx id:%s error,nErrorNo:%d.\n", id, callback, idle, user);
  });
}

ZTMQ_API int ZTCreateProxyTask(const char *id, ZtmqRecvCallbackEx callback, ZtmqIdleCallback idle, void *user) {
  return ztmqGuarded("ZTCreateProxyTask", kResultOfException, [&] {
    ZTMQ_LOG_INFO("ZTCreateProxyTask id:%s.", logText(id));
    return createTask("ZTCreateProxyTask id:%s error,nErrorNo:%d.\n", id, callback, idle, user);
  });
}

ZTMQ_API void ZTDestroyTask(const char *id) {
  ztmqGuarded("ZTDestroyTask", [&] {
    ZTMQ_LOG_INFO("ZTDestroy Destroy a Task id:%s.", logText(id));
    Factory::instance().deleteImpl(textOf(id));
  });
}

ZTMQ_API int ZTSendMessage(const char *source, const char *dest, const void *data, int length, int sn) {
  return ztmqGuarded("ZTSendMessage", kResultOfException, [&] {
    ZTMQ_LOG_DEBUG("ZTSendMessage start source:%s,dest:%s,length:%d,sn:%d.", logText(source), logText(dest), length,
                   sn);
    if (length < 0 || (length > 0 && data == nullptr)) {
      ZTMQ_LOG_ERROR("ZTSendMessage bad data,source:%s,dest:%s,length:%d,sn:%d.", logText(source), logText(dest),
                     length, sn);
      return -1;
    }
    int nError = 0;
    std::shared_ptr<zt::mq::ZTMQImpl> pImpl = Factory::instance().getImpl(textOf(source), nError);
    if (!pImpl) {
      ZTMQ_LOG_ERROR("ZTSendMessage getImpl error nErrorNo:%d,source:%s,dest:%s,length:%d,sn:%d.", nError,
                     logText(source), logText(dest), length, sn);
      return nError;
    }
    int nRet = pImpl->send(textOf(dest), static_cast<const char *>(data), length, sn);
    ZTMQ_LOG_DEBUG("ZTSendMessage end ret:%d,source:%s,dest:%s,length:%d,sn:%d.", nRet, logText(source),
                   logText(dest), length, sn);
    return nRet;
  });
}

ZTMQ_API int ZTProxySendMessage(const char *proxy, const char *source, const char *dest, const char *data,
                                int length, int sn) {
  return ztmqGuarded("ZTProxySendMessage", kResultOfException, [&] {
    ZTMQ_LOG_DEBUG("ZTProxySendMessage start proxy:%s,source:%s,dest:%s,length:%d,sn:%d.", logText(proxy),
                   logText(source), logText(dest), length, sn);
    if (length < 0 || (length > 0 && data == nullptr)) {
      ZTMQ_LOG_ERROR("ZTProxySendMessage bad data,proxy:%s,source:%s,dest:%s,length:%d,sn:%d.", logText(proxy),
                     logText(source), logText(dest), length, sn);
      return -1;
    }
    int nError = 0;
    std::shared_ptr<zt::mq::ZTMQImpl> pImpl = Factory::instance().getImpl(textOf(proxy), nError);
    if (!pImpl) {
      ZTMQ_LOG_ERROR("ZTProxySendMessage getImpl error nErrorNo:%d,proxy:%s,source:%s,dest:%s,length:%d,sn:%d.",
                     nError, logText(proxy), logText(source), logText(dest), length, sn);
      return nError;
    }
    int nRet = pImpl->proxySend(textOf(source), textOf(dest), data, length, sn);
    ZTMQ_LOG_DEBUG("ZTProxySendMessage end ret:%d,proxy:%s,source:%s,dest:%s,length:%d,sn:%d.", nRet,
                   logText(proxy), logText(source), logText(dest), length, sn);
    return nRet;
  });
}

ZTMQ_API int ZTConfigSetAddr(const char *id, const char *addr) {
  return ztmqGuarded("ZTConfigSetAddr", kResultOfException, [&] {
    int nRet = id == nullptr ? -6 : ZTMQConfig::instance().setAddr(id, textOf(addr));
    ZTMQ_LOG_INFO("ZTConfigSetAddr id:%s,addr:%s,nRet:%d.", logText(id), logText(addr), nRet);
    return nRet;
  });
}

ZTMQ_API int ZTConfigGetAddr(const char *id, char *out) {
  return ztmqGuarded("ZTConfigGetAddr", kResultOfException, [&] {
    ZTMQ_LOG_DEBUG("ZTConfigGetAddr id:%s.", logText(id));
    if (out == nullptr) {
      return -1;
    }
    if (id == nullptr) {
      return -6;
    }
    std::string strAddr = ZTMQConfig::instance().getAddr(id);
    if (strAddr.size() > zt::mq::kMaxIdLength) {
      return -5;
    }
    std::memcpy(out, strAddr.c_str(), strAddr.size() + 1);
    return 0;
  });
}

ZTMQ_API int ZTConfigIDIsSet(const char *id) {
  return ztmqGuarded("ZTConfigIDIsSet", -1, [&] {
    ZTMQ_LOG_DEBUG("ZTConfigIDIsSet id:%s.", logText(id));
    return id != nullptr && ZTMQConfig::instance().isSet(id) ? 0 : -1;
  });
}

ZTMQ_API int ZTConfigIDIsSetFast(const char *id) {
  return ZTConfigIDIsSet(id);
}

ZTMQ_API int ZTConfigSetProxy(const char *id, const char *proxy) {
  return ztmqGuarded("ZTConfigSetProxy", kResultOfException, [&] {
    ZTMQ_LOG_INFO("ZTConfigSetProxy id:%s,proxy:%s.\n", logText(id), logText(proxy));
    if (id == nullptr) {
      return -6;
    }
    ZTMQConfig::instance().setProxy(id, textOf(proxy));
    return 0;
  });
}

ZTMQ_API const char *ZTConfigGetProxy(const char *id) {
  return ztmqGuarded("ZTConfigGetProxy", "", [&]() -> const char * {
    ZTMQ_LOG_DEBUG("ZTConfigGetProxy id:%s.", logText(id));
    thread_local std::string t_strProxy;
    t_strProxy = id != nullptr ? ZTMQConfig::instance().getProxy(id) : std::string();
    return t_strProxy.c_str();
  });
}

} // extern "C"
