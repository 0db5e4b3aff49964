#include "log_test_support.h"
#include "logger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace zt::log;
using namespace zt::log::test;

namespace {

LogOption asyncOption(const ScratchDir &dir, uint64_t nQueueLimit) {
  LogOption option = fileOption(dir.path(), "async");
  option.bLogAsync = true;
  option.nAsyncQueueLimit = nQueueLimit;
  return option;
}

} // namespace

TEST(LoggerAsync, StopWritesEverythingQueuedBelowTheLimit) {
  ScratchDir dir;
  zt::log::Logger logger;
  logger.start(asyncOption(dir, 16ull * 1024 * 1024));
  const int nLines = 20000;
  for (int i = 0; i < nLines; ++i) {
    logger.write("a.cpp", "f", 1, zt::log::LOG_INFO, "seq=%d", i);
  }
  logger.stop();
  std::vector<std::string> lines = splitLines(readFile(dir.path() + "/async.log"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(nLines));
  for (int i = 0; i < nLines; ++i) {
    ASSERT_NE(lines[i].find(" seq=" + std::to_string(i)), std::string::npos) << lines[i];
  }
}

TEST(LoggerAsync, FullQueueLeavesOneMarkerPerLostLineAndNeverBlocks) {
  ScratchDir dir;
  zt::log::Logger logger;
  // Room for a handful of lines; the writer empties the queue only every 100 ms when quiet.
  logger.start(asyncOption(dir, 500));
  const int nLines = 400;
  auto begin = std::chrono::steady_clock::now();
  for (int i = 0; i < nLines; ++i) {
    logger.write("a.cpp", "f", 1, zt::log::LOG_INFO, "seq=%d", i);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
  logger.stop();

  std::vector<std::string> lines = splitLines(readFile(dir.path() + "/async.log"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(nLines));
  int nMarkers = 0;
  for (int i = 0; i < nLines; ++i) {
    if (lines[i] == "*") {
      ++nMarkers;
    } else {
      EXPECT_NE(lines[i].find(" seq=" + std::to_string(i)), std::string::npos) << lines[i];
    }
  }
  EXPECT_GT(nMarkers, nLines / 2);
}

TEST(LoggerAsync, LinesReachTheFileWhileRunningAndStopIsPrompt) {
  ScratchDir dir;
  zt::log::Logger logger;
  zt::log::LogOption option = asyncOption(dir, 1024 * 1024);
  option.bLogFlushImmediately = true;
  logger.start(option);
  logger.write("a.cpp", "f", 1, zt::log::LOG_INFO, "early");
  auto begin = std::chrono::steady_clock::now();
  while (readFile(dir.path() + "/async.log").empty() &&
         std::chrono::steady_clock::now() - begin < std::chrono::seconds(2)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_NE(readFile(dir.path() + "/async.log").find("early"), std::string::npos);

  begin = std::chrono::steady_clock::now();
  logger.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(500));
}
