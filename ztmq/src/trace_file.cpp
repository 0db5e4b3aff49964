#include "trace_file.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "process_paths.h"

namespace zt::mq {

TraceFile::TraceFile(std::string strDir)
    : m_strPath(strDir + "/ztmq_trace.log"), m_strBackupPath(strDir + "/ztmq_trace_bak.log") {}

TraceFile::~TraceFile() {
  if (m_nFd >= 0) {
    ::close(m_nFd);
  }
}

TraceFile &TraceFile::instance() {
  static TraceFile trace(zt::platform::executableDirectory());
  return trace;
}

void TraceFile::write(const char *pstrText, size_t nLength) {
  constexpr size_t kStampLength = 20; // "YYYY-MM-DD hh:mm:ss "
  char szFixed[1024];
  std::vector<char> vecLong;
  char *pLine = szFixed;
  size_t nLineLength = kStampLength + nLength + 1;
  if (nLineLength > sizeof szFixed) {
    vecLong.resize(nLineLength);
    pLine = vecLong.data();
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(pLine, kStampLength + 1, "%Y-%m-%d %H:%M:%S ", &local);
  std::copy(pstrText, pstrText + nLength, pLine + kStampLength);
  pLine[nLineLength - 1] = '\n';

  std::lock_guard<std::mutex> lock(m_mutex);
  openIfClosed();
  if (m_uSize >= kRotateSize) {
    rotate();
  }
  if (m_nFd >= 0 && ::write(m_nFd, pLine, nLineLength) > 0) {
    m_uSize += nLineLength;
  }
}

// A failed open leaves the file closed; the next line tries again.
void TraceFile::openIfClosed() {
  if (m_nFd >= 0) {
    return;
  }
  m_nFd = ::open(m_strPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  struct stat info {};
  m_uSize = m_nFd >= 0 && ::fstat(m_nFd, &info) == 0 ? uint64_t(info.st_size) : 0;
}

void TraceFile::rotate() {
  ::close(m_nFd);
  m_nFd = -1;
  std::rename(m_strPath.c_str(), m_strBackupPath.c_str());
  openIfClosed();
}

} // namespace zt::mq
