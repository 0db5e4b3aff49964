// The log of a session library: an enable flag and level in front of the process-wide file
// logger, started lazily by the first line, plus an optional callback that sees every line.
// busline's look is the default; topicbus, built on the same sessions, sets its own profile.
#pragma once

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <string>

#include "busline.h"
#include "logger.h"

namespace zt::bus {

// What tells one library's log file from another's.
struct LogProfile {
  std::string strNameSuffix; // appended to the file base name
  std::string strHeader;     // at the top of every fresh or rotated file
  zt::log::LineFormat eFormat = zt::log::LineFormat::Busline;
};

class BuslineLog {
public:
  static BuslineLog &instance();

  bool enabled(int nLevel) const;
  void write(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel, const char *pstrFormat,
             ...) __attribute__((format(printf, 6, 7)));
  // A line whose message is already text, taken as it stands (pstrText is NUL-terminated).
  void writeText(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel, const char *pstrText,
                 size_t nLength);

  void setCallback(nm_log_callback pCallback) { m_pCallback.store(pCallback); }
  void setFile(const char *pstrDir, const char *pstrName);
  void setSize(int nSizeMiB);
  void setType(int nEnable, int nLevel);
  // Takes effect when called before the first line, as setFile and setSize do.
  void setProfile(const LogProfile &profile);

private:
  BuslineLog() = default;
  void startOnce();

  std::atomic<bool> m_bEnable{true};
  std::atomic<int> m_nLevel{zt::log::LOG_DEBUG};
  std::atomic<int> m_nMaxSizeMiB{100};
  std::atomic<nm_log_callback> m_pCallback{nullptr};
  std::atomic<bool> m_bStarted{false}; // set once, under m_mutex
  std::mutex m_mutex;                  // guards the fields below and starting the logger
  std::string m_strDir;
  std::string m_strName;
  bool m_bHasProfile = false;
  LogProfile m_profile;
};

// Text for a possibly null C string in log lines.
inline const char *logText(const char *pstr) {
  return pstr != nullptr ? pstr : "(null)";
}

} // namespace zt::bus

#define BUSLINE_LOG(level, ...)                                                                              \
  do {                                                                                                       \
    if (::zt::bus::BuslineLog::instance().enabled(level)) {                                                  \
      ::zt::bus::BuslineLog::instance().write(__FILE__, __func__, __LINE__, (level), __VA_ARGS__);           \
    }                                                                                                        \
  } while (0)

#define BUSLINE_LOG_TEXT(level, pstrText, nLength)                                                           \
  ::zt::bus::BuslineLog::instance().writeText(__FILE__, __func__, __LINE__, (level), (pstrText), (nLength))
