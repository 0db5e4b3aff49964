#include "exited_handles.h"

#include <map>
#include <memory>
#include <mutex>

namespace zt::tb {

namespace {

struct ExitedHandles {
  std::mutex mutex;
  std::map<TopicbusHandle *, std::unique_ptr<TopicbusHandle>> mapHandles;
};

ExitedHandles &exitedHandles() {
  static ExitedHandles handles;
  return handles;
}

} // namespace

void keepExitedHandle(TopicbusHandle *pHandle) {
  ExitedHandles &handles = exitedHandles();
  std::lock_guard<std::mutex> lock(handles.mutex);
  auto &pOwned = handles.mapHandles[pHandle];
  if (!pOwned) {
    pOwned.reset(pHandle);
  }
}

} // namespace zt::tb
