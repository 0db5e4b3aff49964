// The timer object of an instance: one thread that wakes once a period to answer deferred
// requests whose time is up with a time-out response, and to return the instance from the
// Debug run model to Normal when no request was handled for the idle time-out.
#pragma once

#include "response_record.h"
#include "zt_common.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace zt::dm {

struct SyncTimerSettings {
  int nPeriodMs = 1000;        // wake-up period of the thread
  int nIdleTimeoutMs = 120000; // Debug ends after this long without a handled request
  uint64_t (*pfnNowMs)() = &tickMs; // the clock that time-outs are measured on
};

class ztdmSyncTimeManager {
public:
  // Publishes a response under the given sn.
  using ResponseFunction = std::function<void(const ResponseRecord &record, int nSn)>;
  using IdleCallback = std::function<void()>;

  ztdmSyncTimeManager(ResponseFunction fnRespond, const SyncTimerSettings &settings);
  ~ztdmSyncTimeManager();
  ztdmSyncTimeManager(const ztdmSyncTimeManager &) = delete;
  ztdmSyncTimeManager &operator=(const ztdmSyncTimeManager &) = delete;

  // Answers the request with code 4 once nTimeoutMs have passed; an entry already waiting
  // for the same device under the same sn is replaced and never answered.
  void defer(const std::string &strDevId, int nCmd, int nSn, int nTimeoutMs);
  // Marks a request as handled now (keeps the Debug run model alive).
  void refresh();
  // Starts the idle timer: fnIdle runs on the timer thread once the idle time-out passes
  // without a refresh, then the timer is disarmed.
  void arm(IdleCallback fnIdle);
  // Stops and joins the thread; pending requests are then never answered. Idempotent.
  void stop();

private:
  // Applications count sn per device, so one sn may be deferred for several devices at once.
  // Ordered by sn first, so that the answers go out in ascending sn.
  using PendingKey = std::pair<int, std::string>; // (sn, devId)

  struct PendingRequest {
    int nCmd;
    uint64_t uCreatedMs;
    int nTimeoutMs;
  };

  void run();
  void answerExpired();
  void checkIdle();

  const ResponseFunction m_fnRespond;
  const SyncTimerSettings m_settings;

  std::mutex m_pendingMutex;
  std::map<PendingKey, PendingRequest> m_mapPending;

  std::mutex m_timerMutex;
  bool m_bArmed = false;
  uint64_t m_uLastActivityMs = 0;
  IdleCallback m_fnIdle;

  std::mutex m_runMutex;
  std::condition_variable m_cvStop;
  bool m_bRun = true;
  std::thread m_thread;
};

} // namespace zt::dm
