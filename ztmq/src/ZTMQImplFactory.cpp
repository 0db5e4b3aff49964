#include "ZTMQImplFactory.h"

#include <thread>

#include "message_codec.h"
#include "ztmq_log.h"

namespace zt::mq {

ZTMQImpl::Factory::Factory() {
  // The log is made first, so that it outlives the tasks this factory tears down at exit.
  startLog();
}

// At exit the tasks still alive are stopped before anything they use goes away.
ZTMQImpl::Factory::~Factory() {
  std::map<std::string, std::shared_ptr<ZTMQImpl>> mapTasks;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    mapTasks.swap(m_mapTasks);
  }
  for (auto &task : mapTasks) {
    task.second->closeCallbacks();
  }
  if (ZTMessageQueueReceiver::callingThreadInCallback()) {
    // exit() called from a callback: its receive thread cannot be joined from itself.
    new std::map<std::string, std::shared_ptr<ZTMQImpl>>(std::move(mapTasks));
    return;
  }
  for (auto &task : mapTasks) {
    task.second->waitForCallbacks();
  }
}

ZTMQImpl::Factory &ZTMQImpl::Factory::instance() {
  static Factory factory;
  return factory;
}

std::shared_ptr<ZTMQImpl> ZTMQImpl::Factory::getImpl(const std::string &strId, int &nError) {
  if (strId.size() > kMaxIdLength) {
    ZTMQ_LOG_ERROR("getImpl id length:%d should be less than %d!\n", int(strId.size()), int(kMaxIdLength));
    nError = -5;
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapTasks.find(strId);
  if (it != m_mapTasks.end()) {
    return it->second;
  }
  auto pImpl = std::make_shared<ZTMQImpl>(strId);
  ZTMQ_LOG_DEBUG("getImpl new a impl id=%s,pImpl=0x%p.", strId.c_str(), static_cast<void *>(pImpl.get()));
  int nRet = pImpl->init();
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("getImpl Init ZTMQImpl Failed! iRet:%d,id:%s\n", nRet, strId.c_str());
    nError = nRet;
    return nullptr;
  }
  m_mapTasks[strId] = pImpl;
  return pImpl;
}

template <typename Start>
std::shared_ptr<ZTMQImpl> ZTMQImpl::Factory::newImplWith(const char *pstrName, const std::string &strId,
                                                         int &nError, Start &&start) {
  if (strId.empty()) {
    ZTMQ_LOG_ERROR("%s id is empty\n", pstrName);
    nError = -6;
    return nullptr;
  }
  std::shared_ptr<ZTMQImpl> pImpl = getImpl(strId, nError);
  if (!pImpl) {
    ZTMQ_LOG_ERROR("%s getImpl is NULL,id:%s,nImplErrNo:%d.\n", pstrName, strId.c_str(), nError);
    return nullptr;
  }
  nError = start(*pImpl);
  if (nError == -7) {
    ZTMQ_LOG_WARN("%s id:%s recv thread have start\n", pstrName, strId.c_str());
  }
  return pImpl;
}

std::shared_ptr<ZTMQImpl> ZTMQImpl::Factory::newImpl(const std::string &strId, ZtmqRecvCallback pCallback,
                                                     void *pUser, int &nError) {
  return newImplWith("newImpl", strId, nError,
                     [&](ZTMQImpl &impl) { return impl.asyncReceive(pCallback, pUser); });
}

std::shared_ptr<ZTMQImpl> ZTMQImpl::Factory::newImplEx(const std::string &strId, ZtmqRecvCallbackEx pCallback,
                                                       void *pUser, int &nError) {
  return newImplWith("newImplEx", strId, nError,
                     [&](ZTMQImpl &impl) { return impl.asyncReceiveEx(pCallback, pUser); });
}

void ZTMQImpl::Factory::deleteImpl(const std::string &strId) {
  std::shared_ptr<ZTMQImpl> pImpl;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_mapTasks.find(strId);
    if (it == m_mapTasks.end()) {
      ZTMQ_LOG_WARN("deleteImpl id:%s not found.", strId.c_str());
      return;
    }
    pImpl = std::move(it->second);
    m_mapTasks.erase(it);
  }
  // From inside a callback the teardown cannot wait here: the callback may be the task's own
  // (its receive thread is joined by the teardown) or that of a task whose own callback waits
  // for this one.
  pImpl->closeCallbacks();
  bool bDefer = ZTMessageQueueReceiver::callingThreadInCallback();
  auto teardown = [pImpl = std::move(pImpl), strId]() mutable {
    pImpl->waitForCallbacks();
    pImpl.reset();
    ZTMQ_LOG_DEBUG("deleteImpl  id:%s  OK .", strId.c_str());
  };
  if (bDefer) {
    std::thread(std::move(teardown)).detach();
  } else {
    teardown();
  }
}

} // namespace zt::mq
