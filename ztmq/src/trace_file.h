// ztmq's debug trace: every logged line again, time-stamped, in <dir>/ztmq_trace.log. At
// 0x100001 bytes the file becomes ztmq_trace_bak.log (replacing the previous one) and a new one
// is begun. The file stays open between lines; each line is one write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace zt::mq {

class TraceFile {
public:
  explicit TraceFile(std::string strDir);
  ~TraceFile();
  TraceFile(const TraceFile &) = delete;
  TraceFile &operator=(const TraceFile &) = delete;

  // The trace beside the executable.
  static TraceFile &instance();

  // Writes "YYYY-MM-DD hh:mm:ss " and the text as one line.
  void write(const char *pstrText, size_t nLength);

  static constexpr uint64_t kRotateSize = 0x100001;

private:
  void openIfClosed();
  void rotate();

  const std::string m_strPath;
  const std::string m_strBackupPath;
  std::mutex m_mutex;
  int m_nFd = -1;
  uint64_t m_uSize = 0;
};

} // namespace zt::mq
