#include "line_queue.h"

#include <cstring>

namespace zt::log {

void LineQueue::setLimit(uint64_t nLimitBytes) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_nLimitBytes = nLimitBytes;
}

void LineQueue::push(const char *pLine, size_t nLength) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_queued.strBytes.size() + nLength >= m_nLimitBytes || nLength > UINT32_MAX) {
    pLine = kLostLineMarker;
    nLength = strlen(kLostLineMarker);
  }
  m_queued.strBytes.append(pLine, nLength);
  m_queued.vecLengths.push_back(static_cast<uint32_t>(nLength));
}

void LineQueue::takeAll(LineBatch &batch) {
  batch.clear();
  std::lock_guard<std::mutex> lock(m_mutex);
  std::swap(batch, m_queued);
}

void LineQueue::clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_queued = LineBatch(); // also gives back the memory a burst left behind
}

} // namespace zt::log
