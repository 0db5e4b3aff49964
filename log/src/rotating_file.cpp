#include "rotating_file.h"

#include "process_paths.h"

#include <cstdio>

namespace zt::log {

namespace {

// Lines up to this many bytes wait in the buffer; a longer run is written at once.
constexpr size_t kBufferBytes = 4096;

} // namespace

RotatingFile::~RotatingFile() {
  writeOutBuffer();
}

void RotatingFile::start(const LogOption &option) {
  std::lock_guard<std::mutex> lock(m_mutex);
  closeFile();
  m_bStarted = true;
  m_strDir = option.strLogDir;
  const std::string strStem = m_strDir.empty() ? option.strLogName : m_strDir + "/" + option.strLogName;
  m_strPath = strStem + ".log";
  m_strBackupPath = strStem + ".bak";
  m_strHeader = option.strHeader;
  m_nMaxSize = option.nLogMaxSize;
}

void RotatingFile::stop() {
  std::lock_guard<std::mutex> lock(m_mutex);
  closeFile();
  m_bStarted = false;
}

void RotatingFile::closeFile() {
  writeOutBuffer();
  m_pFile.reset();
}

bool RotatingFile::openFile() {
  if (!m_strDir.empty()) {
    platform::makeDirectories(m_strDir);
  }
  m_pFile = AppendFile::open(m_strPath);
  if (m_pFile == nullptr) {
    return false;
  }
  m_nSize = m_pFile->sizeAtOpening();
  m_nHeaderSize = 0;
  if (m_nSize == 0 && !m_strHeader.empty()) {
    append(m_strHeader.data(), m_strHeader.size());
    m_nSize = m_nHeaderSize = m_strHeader.size();
  }
  return true;
}

void RotatingFile::rotate() {
  closeFile();
  // rename() replaces the previous backup: there is only ever one generation.
  rename(m_strPath.c_str(), m_strBackupPath.c_str());
  // Appending rather than truncating: if the rename failed, the old lines stay in place.
  openFile();
}

void RotatingFile::append(const char *pData, size_t nLength) {
  if (m_strBuffer.size() + nLength > kBufferBytes) {
    writeOutBuffer();
  }
  if (nLength >= kBufferBytes) {
    m_pFile->write(pData, nLength);
  } else {
    m_strBuffer.append(pData, nLength);
  }
}

void RotatingFile::writeOutBuffer() {
  if (!m_strBuffer.empty() && m_pFile != nullptr) {
    m_pFile->write(m_strBuffer.data(), m_strBuffer.size());
  }
  m_strBuffer.clear();
}

void RotatingFile::write(const LineRun &lines, TimePoint, bool bFlush) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_bStarted) {
    return;
  }
  // Consecutive lines that go to the same file are appended together.
  const char *pRun = lines.pData;
  size_t nRun = 0;
  const char *pLine = lines.pData;
  // One failed open per call is enough: the rest of the batch is lost the same way.
  bool bOpenFailed = false;
  for (size_t i = 0; i < lines.nLines; pLine += lines.pLengths[i], ++i) {
    const uint32_t nLength = lines.pLengths[i];
    if (m_pFile == nullptr && (bOpenFailed || !openFile())) {
      bOpenFailed = true;
      pRun = pLine + nLength;
      continue;
    }
    // A file holding nothing but its header is not rotated: that would replace the backup with
    // an empty file when a single line is larger than the limit.
    if (m_nSize + nLength > m_nMaxSize && m_nSize > m_nHeaderSize) {
      append(pRun, nRun);
      rotate();
      pRun = pLine;
      nRun = 0;
      if (m_pFile == nullptr) {
        pRun = pLine + nLength;
        continue;
      }
    }
    nRun += nLength;
    m_nSize += nLength;
  }
  if (nRun > 0) {
    append(pRun, nRun);
  }
  if (bFlush) {
    writeOutBuffer();
  }
}

void RotatingFile::open(TimePoint) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_bStarted && m_pFile == nullptr) {
    openFile();
  }
}

void RotatingFile::flush() {
  std::lock_guard<std::mutex> lock(m_mutex);
  writeOutBuffer();
}

void RotatingFile::close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  closeFile();
}

std::string RotatingFile::path() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bStarted ? m_strPath : std::string();
}

} // namespace zt::log
