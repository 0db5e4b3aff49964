// Size rotation: <dir>/<name>.log with a size limit and a single <dir>/<name>.bak generation.
#pragma once

#include "log_file.h"

#include <cstdint>
#include <string>

namespace zt::log {

class RotatingFile : public LogFile {
public:
  // The directory is created when the file is opened; without one the files go to the
  // working directory.
  RotatingFile(const std::string &strDir, const std::string &strName, const std::string &strHeader,
               uint64_t nMaxSize);

  // Before a line that would push the file past the size limit the file becomes the backup and
  // a fresh one starts with the header.
  void write(const LineRun &lines, TimePoint tpNow, bool bFlush) override;
  void open(TimePoint tpNow) override;
  std::string path() const override { return m_strPath; }

private:
  bool openFile();
  void rotate();

  std::string m_strDir;
  std::string m_strPath;
  std::string m_strBackupPath;
  std::string m_strHeader;
  uint64_t m_nMaxSize;
};

} // namespace zt::log
