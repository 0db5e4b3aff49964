#include "append_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zt::log {

std::unique_ptr<AppendFile> AppendFile::open(const std::string &strPath) {
  int nFd = ::open(strPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (nFd < 0) {
    return nullptr;
  }
  struct stat st;
  const uint64_t nSize = fstat(nFd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  return std::unique_ptr<AppendFile>(new AppendFile(nFd, nSize));
}

AppendFile::~AppendFile() {
  ::close(m_nFd);
}

void AppendFile::write(const char *pData, size_t nLength) const {
  while (nLength > 0) {
    ssize_t nWritten = ::write(m_nFd, pData, nLength);
    if (nWritten < 0 && errno == EINTR) {
      continue;
    }
    if (nWritten <= 0) {
      return; // a full disk loses the rest, as a failed open loses the lines
    }
    pData += nWritten;
    nLength -= static_cast<size_t>(nWritten);
  }
}

} // namespace zt::log
