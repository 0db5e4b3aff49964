#include "rotating_file.h"

#include "process_paths.h"

#include <sys/stat.h>

namespace zt::log {

RotatingFile::~RotatingFile() {
  close();
}

void RotatingFile::configure(const std::string &strDir, const std::string &strName,
                             const std::string &strHeader, uint64_t nMaxSize) {
  close();
  m_strDir = strDir;
  // Without a directory the files go to the working directory, not to "/".
  const std::string strStem = strDir.empty() ? strName : strDir + "/" + strName;
  m_strPath = strStem + ".log";
  m_strBackupPath = strStem + ".bak";
  m_strHeader = strHeader;
  m_nMaxSize = nMaxSize;
}

void RotatingFile::close() {
  if (m_pFile != nullptr) {
    fclose(m_pFile);
    m_pFile = nullptr;
  }
  m_nWritten = 0;
  m_nHeaderBytes = 0;
}

void RotatingFile::flush() {
  if (m_pFile != nullptr) {
    fflush(m_pFile);
  }
}

bool RotatingFile::open() {
  if (!m_strDir.empty()) {
    platform::makeDirectories(m_strDir);
  }
  m_pFile = fopen(m_strPath.c_str(), "abe");
  if (m_pFile == nullptr) {
    return false;
  }
  struct stat st;
  m_nWritten = fstat(fileno(m_pFile), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  m_nHeaderBytes = 0;
  if (m_nWritten == 0 && !m_strHeader.empty()) {
    fwrite(m_strHeader.data(), 1, m_strHeader.size(), m_pFile);
    m_nWritten = m_nHeaderBytes = m_strHeader.size();
  }
  return true;
}

void RotatingFile::rotate() {
  close();
  // rename() replaces the previous backup: there is only ever one generation.
  rename(m_strPath.c_str(), m_strBackupPath.c_str());
  // Appending rather than truncating: if the rename failed, the old lines stay in place.
  open();
}

void RotatingFile::writeRun(const char *pRun, size_t nRun) {
  if (nRun > 0 && m_pFile != nullptr) {
    fwrite(pRun, 1, nRun, m_pFile);
  }
}

void RotatingFile::writeLines(const char *pData, const uint32_t *pLengths, size_t nLines, bool bFlush) {
  // Consecutive lines that go to the same file are written with one call.
  const char *pRun = pData;
  size_t nRun = 0;
  const char *pLine = pData;
  // One failed open per call is enough: the rest of the batch is lost the same way.
  bool bOpenFailed = false;
  for (size_t i = 0; i < nLines; pLine += pLengths[i], ++i) {
    const uint32_t nLength = pLengths[i];
    if (m_pFile == nullptr && (bOpenFailed || !open())) {
      bOpenFailed = true;
      pRun = pLine + nLength;
      continue;
    }
    // A file holding nothing but its header is not rotated: that would replace the backup with
    // an empty file when a single line is larger than the limit.
    if (m_nWritten + nLength > m_nMaxSize && m_nWritten > m_nHeaderBytes) {
      writeRun(pRun, nRun);
      rotate();
      pRun = pLine;
      nRun = 0;
      if (m_pFile == nullptr) {
        pRun = pLine + nLength;
        continue;
      }
    }
    nRun += nLength;
    m_nWritten += nLength;
  }
  writeRun(pRun, nRun);
  if (bFlush) {
    flush();
  }
}

} // namespace zt::log
