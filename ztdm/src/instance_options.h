// What an instance can be given beyond the exported API: shorter timers for tests, and the
// request handling a program built on the library's internals (the proxy) asks for.
#pragma once

#include "ztdm.h"
#include "ztdm_sync_time_manager.h"

namespace zt::dm {

struct InstanceOptions {
  SyncTimerSettings timer;
  // Entry points for different devices may run at the same time (on up to eight request
  // threads); the requests of one device still run one at a time, in the order they arrived.
  bool bConcurrentDevices = false;
};

// ztdm_Create with options; the handle is used with the exported functions as usual.
ZtdmHandle *createInstance(const char *pstrAddress, const InstanceOptions &options);

} // namespace zt::dm
