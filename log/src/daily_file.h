// Daily files: <dir>/<YYYY-MM-DD>-<name>.log for the local day a line is written on. The file
// stays open between lines and is replaced when the day changes. Lines go to the file at once;
// the lock only guards which file is open, so writers do not wait for each other's writes, and
// a file replaced meanwhile is closed by the last writer that still holds it. The directory is
// not created here: the owner of the log makes it when the log starts.
#pragma once

#include "append_file.h"
#include "log_file.h"

#include <memory>
#include <mutex>
#include <string>

namespace zt::log {

class DailyFile : public LogFile {
public:
  void start(const LogOption &option) override;
  void stop() override;
  void write(const LineRun &lines, TimePoint tpNow, bool bFlush) override;
  void open(TimePoint tpNow) override;
  void flush() override {}
  void close() override;
  std::string path() const override;

private:
  // The file for tpNow, opened when needed; null when it cannot be opened or the policy is
  // stopped. Caller holds m_mutex.
  std::shared_ptr<AppendFile> fileFor(TimePoint tpNow);

  mutable std::mutex m_mutex; // guards the fields below
  bool m_bStarted = false;
  std::string m_strDir;
  std::string m_strName;
  std::string m_strHeader;
  int m_nDay = -1; // year and day of the year the name was built for
  std::string m_strPath;
  std::shared_ptr<AppendFile> m_pFile;
};

} // namespace zt::log
