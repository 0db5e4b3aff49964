// Size rotation: <dir>/<name>.log with a size limit and a single <dir>/<name>.bak generation.
// Lines are kept in a buffer until a flush or until it is full. The directory is created when
// the file is opened; without one the files go to the working directory.
#pragma once

#include "append_file.h"
#include "log_file.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace zt::log {

class RotatingFile : public LogFile {
public:
  ~RotatingFile() override; // writes out the buffer

  void start(const LogOption &option) override;
  void stop() override;
  // Before a line that would push the file past the size limit the file becomes the backup and
  // a fresh one starts with the header.
  void write(const LineRun &lines, TimePoint tpNow, bool bFlush) override;
  void open(TimePoint tpNow) override;
  void flush() override;
  void close() override;
  std::string path() const override;

private:
  // Caller holds m_mutex.
  bool openFile();
  void rotate();
  void append(const char *pData, size_t nLength);
  void writeOutBuffer();
  void closeFile();

  mutable std::mutex m_mutex; // guards the fields below
  bool m_bStarted = false;
  std::string m_strDir;
  std::string m_strPath;
  std::string m_strBackupPath;
  std::string m_strHeader;
  uint64_t m_nMaxSize = 0;
  std::unique_ptr<AppendFile> m_pFile;
  uint64_t m_nSize = 0;       // bytes in the file, buffered ones included
  uint64_t m_nHeaderSize = 0; // header bytes this file started with (0 for a reopened one)
  std::string m_strBuffer;
};

} // namespace zt::log
