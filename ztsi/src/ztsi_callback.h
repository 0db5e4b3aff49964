// The requests of one owner (ZtdaImpl keeps one per owner key) that wait for their answers: answers are
// matched by the device and the sn, handed to the application on the delivery thread, and entries are
// forgotten once delivered or once they are older than the expiry.
#pragma once

#include "callback_gate.h"
#include "pending_callback.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zt::si {

// The periods of the two threads and the age at which a waiting request is forgotten.
struct ZtsiTiming {
  uint64_t uExpiryMs = 30000;
  // Upper bound between two delivery passes; a stored answer wakes the thread at once.
  uint64_t uDeliveryPeriodMs = 100;
  uint64_t uCleanupPeriodMs = 1000;
};

class ZtsiCallback {
public:
  // Starts the delivery and the clean-up thread. Each answer is handed over inside a section of the
  // instance's gate, none once it is closed.
  explicit ZtsiCallback(CallbackGate &gate, ZtsiTiming timing = ZtsiTiming());
  ~ZtsiCallback();
  ZtsiCallback(const ZtsiCallback &) = delete;
  ZtsiCallback &operator=(const ZtsiCallback &) = delete;

  // Waits for the answer of strDevId to nSn, replacing any entry already kept for that device and sn.
  // Returns a ticket for forgetRequest.
  uint64_t registerRequest(const std::string &strDevId, int nSn, ztsi_data_callback pCallback,
                           void *pUserData, int nCmd);
  // Drops the entry of the device and sn when it is still the one the ticket names (the request was
  // not sent).
  void forgetRequest(const std::string &strDevId, int nSn, uint64_t uTicket);
  // Stores an answer for delivery; false when no entry of that device waits under nSn.
  bool storeResponse(int nSn, int nCmd, const std::string &strDevId, const char *pData, int nLen);
  // Stops and joins both threads; no callback runs once it returns.
  void stop();

private:
  void deliveryLoop();
  void cleanupLoop();

  CallbackGate &m_gate;
  const ZtsiTiming m_timing;
  std::mutex m_mutex;
  std::condition_variable m_cvDelivery;
  std::condition_variable m_cvCleanup;
  // Ordered by sn first, so that one pass delivers in ascending sn.
  using PendingKey = std::pair<int, std::string>;
  static PendingKey keyOf(const std::string &strDevId, int nSn);

  std::map<PendingKey, PendingCallback> m_mapPending;
  // Keys of the entries that received an answer since the last delivery pass (may repeat), so
  // that delivery need not walk the entries still waiting or already delivered.
  std::vector<decltype(m_mapPending)::key_type> m_vecAnswered;
  uint64_t m_uNextTicket = 1;
  bool m_bRun = true;
  std::thread m_threadDelivery;
  std::thread m_threadCleanup;
};

} // namespace zt::si
