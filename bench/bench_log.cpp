// Lines per second of the asynchronous logger and of spdlog's asynchronous file logger, each
// writing the same 1,000,000 lines of about 120 bytes to a file in a scratch directory. The clock
// runs until every line is in the file (stop() here, spdlog::shutdown() there).
// Then ZTIP's daily library log, which writes every line before the call returns, against a raw
// baseline that formats the same line with snprintf and appends it with one write() per line.
// The four run one after another in each of five rounds; every figure is the median over the
// rounds, a ratio the median of the rounds' ratios (each taken within one round, so a machine
// that is busier in one round than in the next moves both sides of it).
#include "log/ZTIPMyFileLog.h"
#include "logger.h"
#include "process_paths.h"

#include <spdlog/async.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRounds = 5;
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
    int nLength = snprintf(szLine, sizeof szLine,
                           "%04d-%02d-%02d %02d:%02d:%02d.%03d  :log: level: %d, area: %d, seq=%07d,%s\n",
                           local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                           local.tm_sec, static_cast<int>(now.tv_nsec / 1000000), zt::ip::kLogEvent,
                           zt::ip::kAreaOperation, i, kPayload);
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
  return vecValues[vecValues.size() / 2];
}

struct Figures {
  std::vector<double> vecOurs, vecTheirs, vecOursVsTheirs, vecZtip, vecRaw, vecZtipVsRaw;
  FileCounts ours, theirs, ztip; // of the last round
  long nMostDropped = 0;
};

// One round in its own directory; false when a run wrote other than all of its lines.
bool runRound(const std::string &strDir, Figures &figures) {
  FileCounts ours, theirs, ztip, raw;
  const double dOursSeconds = runLogger(strDir, ours);
  const double dTheirsSeconds = runSpdlog(strDir, theirs);
  const double dZtipSeconds = runZtipLog(strDir, ztip);
  const double dRawSeconds = runRawAppend(strDir, raw);
  const double dOursRate = (ours.nLines - ours.nMarkers) / dOursSeconds;
  const double dTheirsRate = theirs.nLines / dTheirsSeconds;
  const double dZtipRate = ztip.nLines / dZtipSeconds;
  const double dRawRate = raw.nLines / dRawSeconds;

  figures.vecOurs.push_back(dOursRate);
  figures.vecTheirs.push_back(dTheirsRate);
  figures.vecOursVsTheirs.push_back(dOursRate / dTheirsRate);
  figures.vecZtip.push_back(dZtipRate);
  figures.vecRaw.push_back(dRawRate);
  figures.vecZtipVsRaw.push_back(dZtipRate / dRawRate);
  figures.ours = ours;
  figures.theirs = theirs;
  figures.ztip = ztip;
  figures.nMostDropped = std::max(figures.nMostDropped, ours.nMarkers);

  bool bComplete = ours.nLines == kLines && theirs.nLines == kLines;
  if (!bComplete) {
    fprintf(stderr, "bench_log: expected %d lines, logger wrote %ld, spdlog %ld\n", kLines, ours.nLines,
            theirs.nLines);
  }
  if (ztip.nLines != kZtipLines || raw.nLines != kZtipLines) {
    fprintf(stderr, "bench_log: expected %d lines, ZTIP's log wrote %ld, the raw append %ld\n", kZtipLines,
            ztip.nLines, raw.nLines);
    bComplete = false;
  }
  return bComplete;
}

double averageLineBytes(const FileCounts &counts) {
  return counts.nLines ? static_cast<double>(counts.nBytes) / counts.nLines : 0.0;
}

} // namespace

int main() {
  std::string strDir = zt::platform::temporaryDirectory() + "bench_log_XXXXXX";
  if (mkdtemp(&strDir[0]) == nullptr) {
    perror("mkdtemp");
    return 1;
  }
  Figures figures;
  bool bComplete = true;
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    const std::string strRoundDir = strDir + "/round" + std::to_string(nRound);
    std::filesystem::create_directories(strRoundDir);
    bComplete = runRound(strRoundDir, figures) && bComplete;
    std::filesystem::remove_all(strRoundDir);
  }
  std::filesystem::remove_all(strDir);

  printf("log_async_lines_per_s %.0f lines/s\n", median(figures.vecOurs));
  printf("spdlog_async_lines_per_s %.0f lines/s\n", median(figures.vecTheirs));
  printf("log_vs_spdlog_ratio %.2f x\n", median(figures.vecOursVsTheirs));
  printf("log_dropped_lines %ld lines\n", figures.nMostDropped);
  printf("log_avg_line_bytes %.0f bytes\n", averageLineBytes(figures.ours));
  printf("spdlog_avg_line_bytes %.0f bytes\n", averageLineBytes(figures.theirs));
  printf("ztip_log_lines_per_s %.0f lines/s\n", median(figures.vecZtip));
  printf("raw_append_lines_per_s %.0f lines/s\n", median(figures.vecRaw));
  printf("ztip_log_vs_raw_ratio %.2f x\n", median(figures.vecZtipVsRaw));
  printf("ztip_log_avg_line_bytes %.0f bytes\n", averageLineBytes(figures.ztip));
  return bComplete ? 0 : 1;
}
