#include "append_file.h"

#include <sys/stat.h>

namespace zt::log {

bool AppendFile::open(const std::string &strPath, const std::string &strHeader) {
  close();
  m_pFile = fopen(strPath.c_str(), "abe");
  if (m_pFile == nullptr) {
    return false;
  }
  struct stat st;
  m_nSize = fstat(fileno(m_pFile), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  if (m_nSize == 0 && !strHeader.empty()) {
    write(strHeader.data(), strHeader.size());
    m_nHeaderSize = strHeader.size();
  }
  return true;
}

void AppendFile::write(const char *pData, size_t nLength) {
  if (nLength > 0 && m_pFile != nullptr) {
    fwrite(pData, 1, nLength, m_pFile);
    m_nSize += nLength;
  }
}

void AppendFile::flush() {
  if (m_pFile != nullptr) {
    fflush(m_pFile);
  }
}

void AppendFile::close() {
  if (m_pFile != nullptr) {
    fclose(m_pFile);
    m_pFile = nullptr;
  }
  m_nSize = 0;
  m_nHeaderSize = 0;
}

} // namespace zt::log
