#include "ztsi_callback.h"

#include "call_dispatch.h"
#include "zt_common.h"
#include "ztsi_guard.h"
#include "ztsi_log.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace zt::si {

namespace {

// An answer taken out of its entry for delivery outside the lock.
struct ReadyResponse {
  std::pair<int, std::string> key;
  uint64_t uTicket;
  uint64_t uResponseCount;
  ztsi_data_callback pCallback;
  void *pUserData;
  int nCmd;
  std::vector<char> vecData;
};

} // namespace

ZtsiCallback::ZtsiCallback(CallbackGate &gate, ZtsiTiming timing) : m_gate(gate), m_timing(timing) {
  m_threadDelivery = std::thread(&ZtsiCallback::deliveryLoop, this);
  m_threadCleanup = std::thread(&ZtsiCallback::cleanupLoop, this);
}

ZtsiCallback::~ZtsiCallback() {
  stop();
}

ZtsiCallback::PendingKey ZtsiCallback::keyOf(const std::string &strDevId, int nSn) {
  return PendingKey(nSn, strDevId.substr(0, kMaxDevIdLength));
}

uint64_t ZtsiCallback::registerRequest(const std::string &strDevId, int nSn, ztsi_data_callback pCallback,
                                       void *pUserData, int nCmd) {
  PendingCallback pending;
  pending.m_pCallback = pCallback;
  pending.m_pUserData = pUserData;
  pending.m_uCreatedMs = tickMs();
  pending.m_nCmd = nCmd;
  std::lock_guard<std::mutex> lock(m_mutex);
  uint64_t uTicket = m_uNextTicket++;
  pending.m_uTicket = uTicket;
  m_mapPending[keyOf(strDevId, nSn)] = std::move(pending);
  return uTicket;
}

void ZtsiCallback::forgetRequest(const std::string &strDevId, int nSn, uint64_t uTicket) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapPending.find(keyOf(strDevId, nSn));
  if (it != m_mapPending.end() && it->second.m_uTicket == uTicket) {
    m_mapPending.erase(it);
  }
}

bool ZtsiCallback::storeResponse(int nSn, int nCmd, const std::string &strDevId, const char *pData,
                                 int nLen) {
  bool bFound = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_mapPending.find(keyOf(strDevId, nSn));
    bFound = it != m_mapPending.end();
    if (bFound) {
      PendingCallback &pending = it->second;
      pending.m_nCmd = nCmd;
      if (pData != nullptr && nLen > 0) {
        pending.m_vecResponse.assign(pData, pData + nLen);
      } else {
        pending.m_vecResponse.clear();
      }
      pending.m_eState = PendingCallback::kResponseStored;
      ++pending.m_uResponseCount;
      m_vecAnswered.push_back(it->first);
    }
  }
  if (bFound) {
    // Notified after unlocking, so that the delivery thread does not wake only to wait for the lock.
    m_cvDelivery.notify_one();
    return true;
  }
  ZTSI_LOG_INFO("Can not find callback  snid:%d, cmd:%d", nSn, nCmd);
  return false;
}

void ZtsiCallback::stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bRun = false;
  }
  m_cvDelivery.notify_all();
  m_cvCleanup.notify_all();
  if (m_threadDelivery.joinable()) {
    m_threadDelivery.join();
  }
  if (m_threadCleanup.joinable()) {
    m_threadCleanup.join();
  }
}

// Callbacks run without the lock, so that a callback may itself send a request with an answer
// callback; an entry is marked delivered only when no newer answer was stored meanwhile. The
// buffers are kept from pass to pass, so a delivery allocates nothing once they have grown.
void ZtsiCallback::deliveryLoop() {
  std::vector<decltype(m_mapPending)::key_type> vecAnswered;
  std::vector<ReadyResponse> vecReady;
  std::unique_lock<std::mutex> lock(m_mutex);
  while (m_bRun) {
    m_cvDelivery.wait_for(lock, std::chrono::milliseconds(m_timing.uDeliveryPeriodMs),
                          [this] { return !m_bRun || !m_vecAnswered.empty(); });
    if (!m_bRun) {
      break;
    }
    vecAnswered.clear();
    std::swap(vecAnswered, m_vecAnswered);
    // In ascending sn, each entry once however often it was answered since the last pass.
    std::sort(vecAnswered.begin(), vecAnswered.end());
    vecAnswered.erase(std::unique(vecAnswered.begin(), vecAnswered.end()), vecAnswered.end());
    vecReady.clear();
    for (const auto &key : vecAnswered) {
      auto it = m_mapPending.find(key);
      if (it == m_mapPending.end() || it->second.m_eState != PendingCallback::kResponseStored) {
        continue;
      }
      PendingCallback &pending = it->second;
      vecReady.push_back(ReadyResponse{it->first, pending.m_uTicket, pending.m_uResponseCount,
                                       pending.m_pCallback, pending.m_pUserData, pending.m_nCmd,
                                       std::move(pending.m_vecResponse)});
    }
    if (vecReady.empty()) {
      continue;
    }
    lock.unlock();
    for (const ReadyResponse &ready : vecReady) {
      CallbackGate::Section section(m_gate);
      if (!section) {
        break;
      }
      // An exception of the application's callback must not end this thread (and the process).
      ztsiGuarded("response callback", [&] {
        dispatchCall(ready.pCallback, ready.nCmd, ready.key.second.c_str(), ready.key.first,
                     ready.vecData.data(), static_cast<int>(ready.vecData.size()), ready.pUserData);
      });
    }
    lock.lock();
    for (const ReadyResponse &ready : vecReady) {
      auto it = m_mapPending.find(ready.key);
      if (it != m_mapPending.end() && it->second.m_uTicket == ready.uTicket &&
          it->second.m_uResponseCount == ready.uResponseCount) {
        it->second.m_eState = PendingCallback::kDelivered;
      }
    }
  }
}

void ZtsiCallback::cleanupLoop() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (m_bRun) {
    m_cvCleanup.wait_for(lock, std::chrono::milliseconds(m_timing.uCleanupPeriodMs),
                         [this] { return !m_bRun; });
    if (!m_bRun) {
      break;
    }
    uint64_t uNow = tickMs();
    for (auto it = m_mapPending.begin(); it != m_mapPending.end();) {
      bool bExpired = uNow - it->second.m_uCreatedMs > m_timing.uExpiryMs;
      if (it->second.m_eState == PendingCallback::kDelivered || bExpired) {
        it = m_mapPending.erase(it);
      } else {
        ++it;
      }
    }
  }
}

} // namespace zt::si
