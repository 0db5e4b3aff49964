#include "rotating_file.h"

#include "process_paths.h"

namespace zt::log {

RotatingFile::RotatingFile(const std::string &strDir, const std::string &strName,
                           const std::string &strHeader, uint64_t nMaxSize)
    : m_strDir(strDir), m_strHeader(strHeader), m_nMaxSize(nMaxSize) {
  const std::string strStem = strDir.empty() ? strName : strDir + "/" + strName;
  m_strPath = strStem + ".log";
  m_strBackupPath = strStem + ".bak";
}

bool RotatingFile::openFile() {
  if (!m_strDir.empty()) {
    platform::makeDirectories(m_strDir);
  }
  return m_file.open(m_strPath, m_strHeader);
}

void RotatingFile::open(TimePoint) {
  if (!m_file.isOpen()) {
    openFile();
  }
}

void RotatingFile::rotate() {
  m_file.close();
  // rename() replaces the previous backup: there is only ever one generation.
  rename(m_strPath.c_str(), m_strBackupPath.c_str());
  // Appending rather than truncating: if the rename failed, the old lines stay in place.
  openFile();
}

void RotatingFile::write(const LineRun &lines, TimePoint, bool bFlush) {
  // Consecutive lines that go to the same file are written with one call.
  const char *pRun = lines.pData;
  size_t nRun = 0;
  const char *pLine = lines.pData;
  // One failed open per call is enough: the rest of the batch is lost the same way.
  bool bOpenFailed = false;
  for (size_t i = 0; i < lines.nLines; pLine += lines.pLengths[i], ++i) {
    const uint32_t nLength = lines.pLengths[i];
    if (!m_file.isOpen() && (bOpenFailed || !openFile())) {
      bOpenFailed = true;
      pRun = pLine + nLength;
      continue;
    }
    // A file holding nothing but its header is not rotated: that would replace the backup with
    // an empty file when a single line is larger than the limit.
    const uint64_t nSize = m_file.size() + nRun;
    if (nSize + nLength > m_nMaxSize && nSize > m_file.headerSize()) {
      m_file.write(pRun, nRun);
      rotate();
      pRun = pLine;
      nRun = 0;
      if (!m_file.isOpen()) {
        pRun = pLine + nLength;
        continue;
      }
    }
    nRun += nLength;
  }
  m_file.write(pRun, nRun);
  if (bFlush) {
    m_file.flush();
  }
}

} // namespace zt::log
