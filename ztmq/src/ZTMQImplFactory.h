// The tasks of the process by id. A task lives until deleteImpl; whoever still uses it then
// (a send in progress) keeps it alive until done.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "ZTMQImpl.h"

namespace zt::mq {

class ZTMQImpl::Factory {
public:
  static Factory &instance();

  // The task of the id, made and bound when there is none: null with -5 for an id longer than
  // 63 characters, or with the binding's error.
  std::shared_ptr<ZTMQImpl> getImpl(const std::string &strId, int &nError);
  // getImpl, then starts receiving: -6 for the empty id, -7 (with the task) when it receives
  // already.
  std::shared_ptr<ZTMQImpl> newImpl(const std::string &strId, ZtmqRecvCallback pCallback, void *pUser,
                                    int &nError);
  std::shared_ptr<ZTMQImpl> newImplEx(const std::string &strId, ZtmqRecvCallbackEx pCallback, void *pUser,
                                      int &nError);
  // Removes the task and tears it down once its callbacks have returned: here, or on a thread
  // of its own when called from inside a callback.
  void deleteImpl(const std::string &strId);

private:
  Factory();
  ~Factory();

  template <typename Start>
  std::shared_ptr<ZTMQImpl> newImplWith(const char *pstrName, const std::string &strId, int &nError, Start &&start);

  std::mutex m_mutex;
  std::map<std::string, std::shared_ptr<ZTMQImpl>> m_mapTasks;
};

} // namespace zt::mq
