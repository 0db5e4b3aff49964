#include "busline_log.h"

#include <algorithm>

#include "line_buffer.h"
#include "process_paths.h"
#include "version_info.h"

namespace zt::bus {

BuslineLog &BuslineLog::instance() {
  static BuslineLog log;
  return log;
}

bool BuslineLog::enabled(int nLevel) const {
  return m_bEnable.load() && nLevel <= m_nLevel.load();
}

void BuslineLog::write(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel,
                       const char *pstrFormat, ...) {
  if (!enabled(nLevel)) {
    return;
  }
  startOnce();
  va_list args;
  if (m_pCallback.load() == nullptr) {
    // Nobody else needs the text: the logger formats it straight into the line.
    va_start(args, pstrFormat);
    zt::log::Logger::instance().vwrite(pstrFile, pstrFunction, nLine, nLevel, pstrFormat, args);
    va_end(args);
    return;
  }
  zt::log::LineBuffer text;
  va_start(args, pstrFormat);
  bool bFormatted = text.appendFormat(pstrFormat, args);
  va_end(args);
  if (bFormatted) {
    writeText(pstrFile, pstrFunction, nLine, nLevel, text.data(), text.size());
  }
}

void BuslineLog::writeText(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel,
                           const char *pstrText, size_t nLength) {
  if (!enabled(nLevel)) {
    return;
  }
  startOnce();
  zt::log::Logger::instance().writeText(pstrFile, pstrFunction, nLine, nLevel, pstrText, nLength);
  if (nm_log_callback pCallback = m_pCallback.load()) {
    pCallback(nLevel, pstrText, int(nLength));
  }
}

void BuslineLog::startOnce() {
  if (m_bStarted.load()) {
    return;
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_bStarted.load()) {
    return;
  }
  zt::log::LogOption option;
  option.strLogDir = m_strDir.empty() ? zt::platform::executableDirectory() + "/log" : m_strDir;
  zt::platform::makeDirectories(option.strLogDir);
  if (!m_bHasProfile) {
    m_profile = LogProfile{"_busline", std::string("\t\t") + sdkVersionText() + "\n\n", zt::log::LineFormat::Busline};
  }
  option.strLogName = (m_strName.empty() ? zt::platform::programBaseName() : m_strName) + m_profile.strNameSuffix;
  option.strHeader = m_profile.strHeader;
  option.bLogToFile = true;
  option.bLogToStdout = false;
  option.bLogAsync = true;
  option.nAsyncQueueLimit = 1024 * 1024;
  option.bLogFlushImmediately = false;
  option.bLogFuctionName = false;
  option.nLogLevel = m_nLevel.load();
  option.nLogMaxSize = uint64_t(m_nMaxSizeMiB.load()) * 1024 * 1024;
  option.eFormat = m_profile.eFormat;
  zt::log::Logger::instance().start(option);
  m_bStarted.store(true);
}

void BuslineLog::setFile(const char *pstrDir, const char *pstrName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_strDir = pstrDir != nullptr ? pstrDir : "";
  std::replace(m_strDir.begin(), m_strDir.end(), '\\', '/');
  m_strName = pstrName != nullptr ? pstrName : "";
}

void BuslineLog::setSize(int nSizeMiB) {
  if (nSizeMiB >= 1 && nSizeMiB <= 1024) {
    m_nMaxSizeMiB.store(nSizeMiB);
  }
}

void BuslineLog::setType(int nEnable, int nLevel) {
  m_bEnable.store(nEnable != 0);
  if (nLevel >= zt::log::LOG_FATAL && nLevel <= zt::log::LOG_DEBUG) {
    m_nLevel.store(nLevel);
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_bStarted.load()) {
    zt::log::Logger::instance().applyControl(false, nEnable != 0, false, m_nLevel.load());
  }
}

void BuslineLog::setProfile(const LogProfile &profile) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_profile = profile;
  m_bHasProfile = true;
}

} // namespace zt::bus
