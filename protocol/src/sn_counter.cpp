#include "sn_counter.h"

#include <limits>

namespace zt::protocol {

int32_t SnCounter::nextSn() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_nLastSn = m_nLastSn == std::numeric_limits<int32_t>::max() ? 1 : m_nLastSn + 1;
  return m_nLastSn;
}

} // namespace zt::protocol
