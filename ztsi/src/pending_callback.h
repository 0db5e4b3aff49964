// One request that waits for its answer, kept by ZtsiCallback under the request's device and sn.
#pragma once

#include "ztsi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zt::si {

// Longest devId the application side keeps.
constexpr size_t kMaxDevIdLength = 64;

struct PendingCallback {
  enum State { kWaiting = 0, kResponseStored = 1, kDelivered = 2 };

  ztsi_data_callback m_pCallback = nullptr;
  void *m_pUserData = nullptr;
  uint64_t m_uCreatedMs = 0;
  std::vector<char> m_vecResponse;
  State m_eState = kWaiting;
  int m_nCmd = 0;
  // Told apart from an entry that later replaced it under the same device and sn.
  uint64_t m_uTicket = 0;
  // Counts stored responses, so that delivery marks only what it has really handed over.
  uint64_t m_uResponseCount = 0;
};

} // namespace zt::si
