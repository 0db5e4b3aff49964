// One log file opened for appending. Every write() goes straight to the file in one system call
// where the system allows, so lines that several threads write at the same time stay whole and
// no lock is needed around them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zt::log {

class AppendFile {
public:
  // Opens strPath for appending, creating it; null when it cannot be opened.
  static std::unique_ptr<AppendFile> open(const std::string &strPath);

  ~AppendFile();
  AppendFile(const AppendFile &) = delete;
  AppendFile &operator=(const AppendFile &) = delete;

  void write(const char *pData, size_t nLength) const;

  // Bytes in the file when it was opened.
  uint64_t sizeAtOpening() const { return m_nSizeAtOpening; }

private:
  AppendFile(int nFd, uint64_t nSizeAtOpening) : m_nFd(nFd), m_nSizeAtOpening(nSizeAtOpening) {}

  const int m_nFd;
  const uint64_t m_nSizeAtOpening;
};

} // namespace zt::log
