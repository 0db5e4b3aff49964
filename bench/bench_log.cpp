// Lines per second of the asynchronous logger and of spdlog's asynchronous file logger, each
// writing the same 1,000,000 lines of about 120 bytes to a file in a scratch directory. The clock
// runs until every line is in the file (stop() here, spdlog::shutdown() there).
// Then ZTIP's daily library log, which writes every line before the call returns, against a raw
// baseline that formats the same line with snprintf and appends it with one write() per line.
// Each comparison runs its two sides one after the other, taking turns at going first, in each
// of six rounds; every figure is the median over the rounds, a ratio the median of the rounds'
// ratios (each taken within one round, so a machine that is busier in one round than in the
// next moves both sides of it).
#include "log/ZTIPMyFileLog.h"
#include "logger.h"
#include "process_paths.h"

#include <spdlog/async.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRounds = 6;
constexpr int kLines = 1000000;
// With the time stamp, level, file, line and thread id this makes lines of about 120 bytes.
constexpr const char *kPayload = "ZtdmHandle::publishReport,devId=dev-0042,vdt=3,n=5";

double secondsSince(std::chrono::steady_clock::time_point begin) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

struct FileCounts {
  long nLines = 0;
  long nMarkers = 0; // "*" lines standing for lines the full queue dropped
  long nBytes = 0;
};

FileCounts countLines(const std::string &strPath) {
  FileCounts counts;
  std::ifstream in(strPath, std::ios::binary);
  std::string strLine;
  while (std::getline(in, strLine)) {
    ++counts.nLines;
    counts.nBytes += static_cast<long>(strLine.size()) + 1;
    if (strLine == "*") {
      ++counts.nMarkers;
    }
  }
  return counts;
}

double runLogger(const std::string &strDir, FileCounts &counts) {
  zt::log::LogOption option;
  option.strLogDir = strDir;
  option.strLogName = "zt";
  option.bLogToFile = true;
  option.bLogAsync = true;
  option.nLogLevel = zt::log::LOG_INFO;
  option.nLogMaxSize = 4ull * 1024 * 1024 * 1024;
  option.nAsyncQueueLimit = 1ull * 1024 * 1024 * 1024;
  option.bControlSocket = false;
  zt::log::Logger logger;
  logger.start(option);
  auto begin = std::chrono::steady_clock::now();
  for (int i = 0; i < kLines; ++i) {
    logger.write("bench_log.cpp", "runLogger", 42, zt::log::LOG_INFO, "seq=%07d,%s", i, kPayload);
  }
  logger.stop();
  double dSeconds = secondsSince(begin);
  counts = countLines(strDir + "/zt.log");
  return dSeconds;
}

double runSpdlog(const std::string &strDir, FileCounts &counts) {
  const std::string strPath = strDir + "/spdlog.log";
  spdlog::init_thread_pool(8192, 1);
  auto logger = spdlog::basic_logger_mt<spdlog::async_factory>("bench", strPath);
  logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
      "%Y-%m-%d %H:%M:%S.%e  [%l][bench_log.cpp:42][%t] %v", spdlog::pattern_time_type::local, "\r\n"));
  auto begin = std::chrono::steady_clock::now();
  for (int i = 0; i < kLines; ++i) {
    logger->info("seq={:07},{}", i, kPayload);
  }
  logger.reset();
  spdlog::shutdown(); // drains the queue and joins the worker
  double dSeconds = secondsSince(begin);
  counts = countLines(strPath);
  return dSeconds;
}

constexpr int kZtipLines = 200000;

double runZtipLog(const std::string &strDir, FileCounts &counts) {
  const std::string strBase = strDir + "/ztip";
  std::filesystem::create_directories(strBase);
  zt::ip::openLibraryLog(strBase);
  const std::string strPath = zt::ip::libraryLogPath();
  auto begin = std::chrono::steady_clock::now();
  for (int i = 0; i < kZtipLines; ++i) {
    zt::ip::ZTIPLog(zt::ip::kLogEvent, zt::ip::kAreaOperation, "seq=%07d,%s", i, kPayload);
  }
  zt::ip::closeLibraryLog();
  double dSeconds = secondsSince(begin);
  counts = countLines(strPath);
  return dSeconds;
}

// The same lines put together with snprintf from localtime_r and appended with write().
double runRawAppend(const std::string &strDir, FileCounts &counts) {
  const std::string strPath = strDir + "/raw.log";
  int nFd = ::open(strPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (nFd < 0) {
    perror("open");
    return 0;
  }
  auto begin = std::chrono::steady_clock::now();
  for (int i = 0; i < kZtipLines; ++i) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    char szLine[512];
    int nLength = snprintf(
        szLine, sizeof szLine, "%04d-%02d-%02d %02d:%02d:%02d.%03d  :log: level: %d, area: %d, seq=%07d,%s\n",
        local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
        static_cast<int>(now.tv_nsec / 1000000), zt::ip::kLogEvent, zt::ip::kAreaOperation, i, kPayload);
    if (write(nFd, szLine, static_cast<size_t>(nLength)) != nLength) {
      perror("write");
      break;
    }
  }
  ::close(nFd);
  double dSeconds = secondsSince(begin);
  counts = countLines(strPath);
  return dSeconds;
}

double median(std::vector<double> vecValues) {
  std::sort(vecValues.begin(), vecValues.end());
  const size_t nMiddle = vecValues.size() / 2;
  return vecValues.size() % 2 != 0 ? vecValues[nMiddle] : (vecValues[nMiddle - 1] + vecValues[nMiddle]) / 2;
}

// Two sides measured in each round: their rates and, per round, the ratio of the first to the
// second.
struct Comparison {
  std::vector<double> vecFirstRates, vecSecondRates, vecRatios;
  FileCounts first, second; // of the last round
  long nMostDropped = 0;    // of the first side
  bool bComplete = true;    // every run wrote all of its lines
};

// Writes the lines of one run into strDir and returns the seconds it took.
using Run = double (*)(const std::string &strDir, FileCounts &counts);

double linesPerSecond(const FileCounts &counts, double dSeconds) {
  return (counts.nLines - counts.nMarkers) / dSeconds;
}

// kRounds rounds of both sides, each round in a fresh directory below strDir. The sides take
// turns at going first: the one that goes second finds the page cache still busy with what the
// other wrote.
Comparison compare(const std::string &strDir, Run fnFirst, Run fnSecond, long nExpectedLines) {
  Comparison comparison;
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    const std::string strRoundDir = strDir + "/round" + std::to_string(nRound);
    std::filesystem::create_directories(strRoundDir);
    double dFirstSeconds = 0, dSecondSeconds = 0;
    if (nRound % 2 == 0) {
      dFirstSeconds = fnFirst(strRoundDir, comparison.first);
      dSecondSeconds = fnSecond(strRoundDir, comparison.second);
    } else {
      dSecondSeconds = fnSecond(strRoundDir, comparison.second);
      dFirstSeconds = fnFirst(strRoundDir, comparison.first);
    }
    std::filesystem::remove_all(strRoundDir);
    const double dFirstRate = linesPerSecond(comparison.first, dFirstSeconds);
    const double dSecondRate = linesPerSecond(comparison.second, dSecondSeconds);
    comparison.vecFirstRates.push_back(dFirstRate);
    comparison.vecSecondRates.push_back(dSecondRate);
    comparison.vecRatios.push_back(dFirstRate / dSecondRate);
    comparison.nMostDropped = std::max(comparison.nMostDropped, comparison.first.nMarkers);
    if (comparison.first.nLines != nExpectedLines || comparison.second.nLines != nExpectedLines) {
      fprintf(stderr, "bench_log: expected %ld lines, the runs wrote %ld and %ld\n", nExpectedLines,
              comparison.first.nLines, comparison.second.nLines);
      comparison.bComplete = false;
    }
  }
  return comparison;
}

double averageLineBytes(const FileCounts &counts) {
  return counts.nLines ? static_cast<double>(counts.nBytes) / counts.nLines : 0.0;
}

} // namespace

int main() {
  std::string strDir = "/tmp/bench_log_XXXXXX";
  if (mkdtemp(&strDir[0]) == nullptr) {
    perror("mkdtemp");
    return 1;
  }
  // The two comparisons run apart, so that neither leaves the machine in a state the other's
  // figures depend on.
  Comparison logs = compare(strDir, runLogger, runSpdlog, kLines);
  Comparison ztip = compare(strDir, runZtipLog, runRawAppend, kZtipLines);
  std::filesystem::remove_all(strDir);

  printf("log_async_lines_per_s %.0f lines/s\n", median(logs.vecFirstRates));
  printf("spdlog_async_lines_per_s %.0f lines/s\n", median(logs.vecSecondRates));
  printf("log_vs_spdlog_ratio %.2f x\n", median(logs.vecRatios));
  printf("log_dropped_lines %ld lines\n", logs.nMostDropped);
  printf("log_avg_line_bytes %.0f bytes\n", averageLineBytes(logs.first));
  printf("spdlog_avg_line_bytes %.0f bytes\n", averageLineBytes(logs.second));
  printf("ztip_log_lines_per_s %.0f lines/s\n", median(ztip.vecFirstRates));
  printf("raw_append_lines_per_s %.0f lines/s\n", median(ztip.vecSecondRates));
  printf("ztip_log_vs_raw_ratio %.2f x\n", median(ztip.vecRatios));
  printf("ztip_log_avg_line_bytes %.0f bytes\n", averageLineBytes(ztip.first));
  return logs.bComplete && ztip.bComplete ? 0 : 1;
}
