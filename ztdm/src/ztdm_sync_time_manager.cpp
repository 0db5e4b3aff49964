#include "ztdm_sync_time_manager.h"

#include "response_object.h"
#include "ztdm_guard.h"

#include <chrono>
#include <vector>

namespace zt::dm {

ztdmSyncTimeManager::ztdmSyncTimeManager(ResponseFunction fnRespond, const SyncTimerSettings &settings)
    : m_fnRespond(std::move(fnRespond)), m_settings(settings), m_thread(&ztdmSyncTimeManager::run, this) {}

ztdmSyncTimeManager::~ztdmSyncTimeManager() {
  stop();
}

void ztdmSyncTimeManager::stop() {
  {
    std::lock_guard<std::mutex> lock(m_runMutex);
    m_bRun = false;
  }
  m_cvStop.notify_all();
  if (m_thread.joinable()) {
    m_thread.join();
  }
}

void ztdmSyncTimeManager::defer(const std::string &strDevId, int nCmd, int nSn, int nTimeoutMs) {
  std::lock_guard<std::mutex> lock(m_pendingMutex);
  m_mapPending[PendingKey(nSn, strDevId)] = PendingRequest{nCmd, m_settings.pfnNowMs(), nTimeoutMs};
}

void ztdmSyncTimeManager::refresh() {
  std::lock_guard<std::mutex> lock(m_timerMutex);
  m_uLastActivityMs = m_settings.pfnNowMs();
}

void ztdmSyncTimeManager::arm(IdleCallback fnIdle) {
  std::lock_guard<std::mutex> lock(m_timerMutex);
  m_fnIdle = std::move(fnIdle);
  m_bArmed = true;
  m_uLastActivityMs = m_settings.pfnNowMs();
}

void ztdmSyncTimeManager::run() {
  std::unique_lock<std::mutex> lock(m_runMutex);
  while (m_bRun) {
    m_cvStop.wait_for(lock, std::chrono::milliseconds(m_settings.nPeriodMs), [this] { return !m_bRun; });
    if (!m_bRun) {
      break;
    }
    lock.unlock();
    // A failing pass (out of memory) is logged and the next one tried; the thread goes on.
    ztdmGuarded("ztdmSyncTimeManager::run", [this] {
      answerExpired();
      checkIdle();
    });
    lock.lock();
  }
}

void ztdmSyncTimeManager::answerExpired() {
  // A busy map postpones the work to the next pass; answers are sent after the mutex is
  // released so that publishing never holds up deferral on a request thread.
  std::vector<std::pair<PendingKey, PendingRequest>> vecExpired;
  {
    std::unique_lock<std::mutex> lock(m_pendingMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
      return;
    }
    // Read under the mutex, so no entry can be younger than now.
    uint64_t uNowMs = m_settings.pfnNowMs();
    for (auto it = m_mapPending.begin(); it != m_mapPending.end();) {
      if (uNowMs - it->second.uCreatedMs > static_cast<uint64_t>(it->second.nTimeoutMs)) {
        vecExpired.emplace_back(it->first, std::move(it->second));
        it = m_mapPending.erase(it);
      } else {
        ++it;
      }
    }
  }
  const std::string strDesc = protocol::requestTimeoutDesc();
  for (const auto &[key, request] : vecExpired) {
    ResponseRecord record{protocol::kCodeRequestTimeout, request.nCmd, key.second, strDesc.c_str(),
                          static_cast<int>(strDesc.size())};
    m_fnRespond(record, key.first);
  }
}

void ztdmSyncTimeManager::checkIdle() {
  // The callback runs after the timer mutex is released: it changes the run model, which
  // serialises with request handling, and requests refresh the timer under this mutex.
  IdleCallback fnIdle;
  {
    std::unique_lock<std::mutex> lock(m_timerMutex, std::try_to_lock);
    if (!lock.owns_lock() || !m_bArmed ||
        m_settings.pfnNowMs() - m_uLastActivityMs <= static_cast<uint64_t>(m_settings.nIdleTimeoutMs)) {
      return;
    }
    m_bArmed = false;
    fnIdle = m_fnIdle;
  }
  if (fnIdle) {
    fnIdle();
  }
}

} // namespace zt::dm
