// The log file with its size limit and single ".bak" generation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zt::log {

class RotatingFile {
public:
  RotatingFile() = default;
  ~RotatingFile();
  RotatingFile(const RotatingFile &) = delete;
  RotatingFile &operator=(const RotatingFile &) = delete;

  // Closes any open file and takes the new location: <dir>/<name>.log and <dir>/<name>.bak.
  void configure(const std::string &strDir, const std::string &strName, const std::string &strHeader,
                 uint64_t nMaxSize);

  // Appends nLines complete lines stored back to back in pData, with their lengths in pLengths.
  // The file is opened (the directory created) on demand; when that fails the lines of this call
  // are lost and the next call tries again. Before a line that would push the file past the size limit the
  // file becomes the backup and a fresh one starts with the header.
  void writeLines(const char *pData, const uint32_t *pLengths, size_t nLines, bool bFlush);

  void flush();
  void close();
  bool isOpen() const { return m_pFile != nullptr; }

private:
  bool open();
  void rotate();
  void writeRun(const char *pRun, size_t nRun);

  std::string m_strDir;
  std::string m_strPath;
  std::string m_strBackupPath;
  std::string m_strHeader;
  uint64_t m_nMaxSize = 0;
  uint64_t m_nWritten = 0;     // bytes in the open file
  uint64_t m_nHeaderBytes = 0; // header bytes this file started with (0 for a reopened file)
  FILE *m_pFile = nullptr;
};

} // namespace zt::log
