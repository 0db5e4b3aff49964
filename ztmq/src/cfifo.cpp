#include "cfifo.h"

#include <cstring>

namespace zt::mq {

namespace {

constexpr size_t kInitialCapacity = 1024;
constexpr size_t kSpareBytes = 4;

} // namespace

cfifo::cfifo() : m_vecBuffer(kInitialCapacity + kSpareBytes), m_nCapacity(kInitialCapacity) {}

void cfifo::put(const void *pData, size_t nLength) {
  if (m_nWrite + nLength > m_nCapacity) {
    grow(m_nWrite + nLength);
  }
  if (nLength > 0) {
    std::memcpy(m_vecBuffer.data() + m_nWrite, pData, nLength);
  }
  m_nWrite += nLength;
}

const uint8_t *cfifo::terminatedData() {
  m_vecBuffer[m_nWrite] = 0;
  return m_vecBuffer.data();
}

void cfifo::grow(size_t nNeeded) {
  size_t nCapacity = m_nCapacity;
  while (nCapacity <= nNeeded) {
    nCapacity *= 2;
  }
  std::vector<uint8_t> vecBigger(nCapacity + kSpareBytes);
  std::memcpy(vecBigger.data(), m_vecBuffer.data(), m_nWrite);
  m_vecBuffer.swap(vecBigger);
  m_nCapacity = nCapacity;
}

} // namespace zt::mq
