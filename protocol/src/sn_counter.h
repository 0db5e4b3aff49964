// Sequence numbers 1, 2, ... 2147483647, then 1 again; 0 is never drawn.
#pragma once

#include <cstdint>
#include <mutex>

namespace zt::protocol {

class SnCounter {
public:
  // nLastSn: the number drawn last (0 for a fresh counter).
  explicit SnCounter(int32_t nLastSn = 0) : m_nLastSn(nLastSn) {}

  int32_t nextSn();

private:
  std::mutex m_mutex;
  int32_t m_nLastSn;
};

} // namespace zt::protocol
