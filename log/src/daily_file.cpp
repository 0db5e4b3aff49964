#include "daily_file.h"

#include "local_time.h"

namespace zt::log {

void DailyFile::start(const LogOption &option) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bStarted = true;
  m_strDir = option.strLogDir;
  m_strName = option.strLogName;
  m_strHeader = option.strHeader;
  m_nDay = -1;
  m_strPath.clear();
  m_pFile.reset();
}

void DailyFile::stop() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bStarted = false;
  m_strPath.clear();
  m_pFile.reset();
}

std::shared_ptr<AppendFile> DailyFile::fileFor(TimePoint tpNow) {
  if (!m_bStarted) {
    return nullptr;
  }
  const LocalSecond &second = localSecond(std::chrono::system_clock::to_time_t(tpNow));
  const int nDay = second.tmLocal.tm_year * 1000 + second.tmLocal.tm_yday;
  if (nDay != m_nDay) {
    m_nDay = nDay;
    // The date is the first ten characters of the second's text.
    std::string strFile = std::string(second.szText, 10) + "-" + m_strName + ".log";
    m_strPath = m_strDir.empty() ? strFile : m_strDir + "/" + strFile;
    m_pFile.reset();
  }
  if (m_pFile == nullptr) {
    m_pFile = AppendFile::open(m_strPath);
    if (m_pFile != nullptr && m_pFile->sizeAtOpening() == 0) {
      m_pFile->write(m_strHeader.data(), m_strHeader.size());
    }
  }
  return m_pFile;
}

void DailyFile::write(const LineRun &lines, TimePoint tpNow, bool) {
  std::shared_ptr<AppendFile> pFile;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    pFile = fileFor(tpNow);
  }
  if (pFile != nullptr) {
    pFile->write(lines.pData, lines.nBytes);
  }
}

void DailyFile::open(TimePoint tpNow) {
  std::lock_guard<std::mutex> lock(m_mutex);
  fileFor(tpNow);
}

void DailyFile::close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_pFile.reset();
}

std::string DailyFile::path() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_strPath;
}

} // namespace zt::log
