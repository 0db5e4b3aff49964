// The byte buffer a receiving dealer collects the parts of one message in. Its size is a power of
// two (1,024 at first); a part that does not fit moves the collected bytes into the smallest power
// of two that holds them all, with spare room for a zero byte behind the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zt::mq {

class cfifo {
public:
  cfifo();

  void put(const void *pData, size_t nLength);
  size_t size() const { return m_nWrite; }
  // The collected bytes, followed by a zero byte that size() does not count.
  const uint8_t *terminatedData();
  void clear() { m_nWrite = 0; }

private:
  void grow(size_t nNeeded);

  std::vector<uint8_t> m_vecBuffer; // capacity + spare bytes
  size_t m_nCapacity;
  size_t m_nWrite = 0;
};

} // namespace zt::mq
