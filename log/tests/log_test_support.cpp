#include "log_test_support.h"

#include "process_paths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/syscall.h>
#include <unistd.h>

namespace zt::log::test {

ScratchDir::ScratchDir() {
  std::string strTemplate = testing::TempDir() + "zt_log_test_XXXXXX";
  if (mkdtemp(&strTemplate[0]) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  m_strPath = strTemplate;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_strPath, ec);
}

std::string readFile(const std::string &strPath) {
  std::ifstream in(strPath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool fileExists(const std::string &strPath) {
  return std::filesystem::exists(strPath);
}

std::vector<std::string> splitLines(const std::string &strText) {
  std::vector<std::string> lines;
  size_t nStart = 0;
  while (nStart < strText.size()) {
    size_t nEnd = strText.find('\n', nStart);
    if (nEnd == std::string::npos) {
      lines.push_back(strText.substr(nStart));
      break;
    }
    size_t nContentEnd = (nEnd > nStart && strText[nEnd - 1] == '\r') ? nEnd - 1 : nEnd;
    lines.push_back(strText.substr(nStart, nContentEnd - nStart));
    nStart = nEnd + 1;
  }
  return lines;
}

LogOption fileOption(const std::string &strDir, const std::string &strName) {
  LogOption option;
  option.strLogDir = strDir;
  option.strLogName = strName;
  option.bLogToFile = true;
  option.bControlSocket = false;
  return option;
}

namespace {

std::atomic<std::chrono::system_clock::time_point> g_tpTestNow{};

} // namespace

void setTestClock(std::chrono::system_clock::time_point tpNow) {
  g_tpTestNow = tpNow;
}

std::chrono::system_clock::time_point testClock() {
  return g_tpTestNow.load();
}

std::chrono::system_clock::time_point localTimePoint(int nYear, int nMonth, int nDay, int nHour, int nMinute,
                                                     int nSecond, int nMillis) {
  std::tm tmLocal{};
  tmLocal.tm_year = nYear - 1900;
  tmLocal.tm_mon = nMonth - 1;
  tmLocal.tm_mday = nDay;
  tmLocal.tm_hour = nHour;
  tmLocal.tm_min = nMinute;
  tmLocal.tm_sec = nSecond;
  tmLocal.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tmLocal)) + std::chrono::milliseconds(nMillis);
}

std::string threadIdText() {
  return std::to_string(syscall(SYS_gettid));
}

} // namespace zt::log::test
