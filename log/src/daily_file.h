// Daily files: <dir>/<YYYY-MM-DD>-<name>.log for the local day a line is written on. The file
// stays open between lines and is replaced when the day changes.
#pragma once

#include "log_file.h"

#include <string>

namespace zt::log {

class DailyFile : public LogFile {
public:
  // The directory is not created here: the owner of the log makes it when the log starts.
  DailyFile(const std::string &strDir, const std::string &strName, const std::string &strHeader);

  void write(const LineRun &lines, TimePoint tpNow, bool bFlush) override;
  void open(TimePoint tpNow) override;
  std::string path() const override { return m_strPath; }

private:
  // Rebuilds the file name when the local day of tpNow differs from the last one.
  void followDay(TimePoint tpNow);

  std::string m_strDir;
  std::string m_strName;
  std::string m_strHeader;
  int m_nDay = -1; // year and day of the year the name was built for
  std::string m_strPath;
};

} // namespace zt::log
