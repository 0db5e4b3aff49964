// One log file opened for appending; a fresh (empty) file starts with the header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zt::log {

class AppendFile {
public:
  AppendFile() = default;
  ~AppendFile() { close(); }
  AppendFile(const AppendFile &) = delete;
  AppendFile &operator=(const AppendFile &) = delete;

  // Opens strPath for appending, creating it, and writes strHeader into an empty file; false
  // when the file cannot be opened.
  bool open(const std::string &strPath, const std::string &strHeader);
  void write(const char *pData, size_t nLength);
  void flush();
  void close();

  bool isOpen() const { return m_pFile != nullptr; }
  // Bytes in the file: its size at opening and what was written since.
  uint64_t size() const { return m_nSize; }
  // Bytes of header this file started with (0 for a file that was not empty at opening).
  uint64_t headerSize() const { return m_nHeaderSize; }

private:
  FILE *m_pFile = nullptr;
  uint64_t m_nSize = 0;
  uint64_t m_nHeaderSize = 0;
};

} // namespace zt::log
