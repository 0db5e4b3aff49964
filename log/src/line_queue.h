// The bounded queue between the threads that log and the writer thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zt::log {

// Complete lines stored back to back, with the length of each.
struct LineBatch {
  std::string strBytes;
  std::vector<uint32_t> vecLengths;

  void clear() {
    strBytes.clear();
    vecLengths.clear();
  }
};

class LineQueue {
public:
  // The marker that stands for a line the full queue could not take.
  static constexpr const char *kLostLineMarker = "*\n";

  void setLimit(uint64_t nLimitBytes);

  // Queues the line if it fits below the limit, else the marker. Never blocks on the writer.
  void push(const char *pLine, size_t nLength);

  // Swaps every queued line into batch (whose old content is discarded) and empties the queue.
  void takeAll(LineBatch &batch);

  // Drops every queued line.
  void clear();

private:
  std::mutex m_mutex;
  LineBatch m_queued;
  uint64_t m_nLimitBytes = 0;
};

} // namespace zt::log
