// Helpers of the tests of every log configuration: a scratch directory, reading back what was
// logged and a clock the test sets.
#pragma once

#include "logger.h"

#include <chrono>
#include <string>
#include <vector>

namespace zt::log::test {

// A fresh directory under the temporary directory, removed with its content on destruction.
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  const std::string &path() const { return m_strPath; }

private:
  std::string m_strPath;
};

std::string readFile(const std::string &strPath);
bool fileExists(const std::string &strPath);
// Splits text into lines ended by "\r\n" (or the "*\n" marker); a trailing unterminated part is kept.
std::vector<std::string> splitLines(const std::string &strText);

// Settings of a synchronous file-only log in dir, without the control socket.
LogOption fileOption(const std::string &strDir, const std::string &strName);

// A clock for LogOption::pClock that stands wherever the test sets it.
void setTestClock(std::chrono::system_clock::time_point tpNow);
std::chrono::system_clock::time_point testClock();
// The moment of a local date and time.
std::chrono::system_clock::time_point localTimePoint(int nYear, int nMonth, int nDay, int nHour, int nMinute,
                                                     int nSecond, int nMillis);
// The calling thread's id as the lines print it.
std::string threadIdText();

} // namespace zt::log::test
