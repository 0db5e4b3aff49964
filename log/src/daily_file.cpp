#include "daily_file.h"

#include "local_time.h"

namespace zt::log {

DailyFile::DailyFile(const std::string &strDir, const std::string &strName, const std::string &strHeader)
    : m_strDir(strDir), m_strName(strName), m_strHeader(strHeader) {}

void DailyFile::followDay(TimePoint tpNow) {
  const LocalSecond &second = localSecond(std::chrono::system_clock::to_time_t(tpNow));
  const int nDay = second.tmLocal.tm_year * 1000 + second.tmLocal.tm_yday;
  if (nDay == m_nDay) {
    return;
  }
  m_nDay = nDay;
  // The date is the first ten characters of the second's text.
  std::string strFile = std::string(second.szText, 10) + "-" + m_strName + ".log";
  m_strPath = m_strDir.empty() ? strFile : m_strDir + "/" + strFile;
  m_file.close();
}

void DailyFile::open(TimePoint tpNow) {
  followDay(tpNow);
  if (!m_file.isOpen()) {
    m_file.open(m_strPath, m_strHeader);
  }
}

void DailyFile::write(const LineRun &lines, TimePoint tpNow, bool bFlush) {
  open(tpNow);
  m_file.write(lines.pData, lines.nBytes);
  if (bFlush) {
    m_file.flush();
  }
}

} // namespace zt::log
