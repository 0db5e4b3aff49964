#include "log_test_support.h"
#include "logger.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zt::log;
using namespace zt::log::test;

namespace {

LogOption dailyOption(const ScratchDir &dir, bool bAsync = false) {
  LogOption option = fileOption(dir.path(), "daily");
  option.eFiles = FilePolicy::Daily;
  option.eFormat = LineFormat::Ztip;
  option.bLogAsync = bAsync;
  option.pClock = testClock;
  return option;
}

std::string dayFile(const ScratchDir &dir, const char *pstrDate) {
  return dir.path() + "/" + pstrDate + "-daily.log";
}

} // namespace

// Each line goes to the file of the local day it is written on: across midnight and across the
// end of a year, forwards and, when the clock is set back, backwards.
TEST(DailyFiles, LinesFollowTheLocalDay) {
  ScratchDir dir;
  setTestClock(localTimePoint(2021, 12, 31, 23, 59, 59, 999));
  Logger logger;
  logger.start(dailyOption(dir));
  EXPECT_EQ(logger.filePath(), ""); // not known before the first line
  logger.write("d.cpp", "f", 1, LOG_INFO, "last of the year");
  EXPECT_EQ(logger.filePath(), dayFile(dir, "2021-12-31"));
  setTestClock(localTimePoint(2022, 1, 1, 0, 0, 0, 0));
  logger.write("d.cpp", "f", 1, LOG_INFO, "first of the year");
  EXPECT_EQ(logger.filePath(), dayFile(dir, "2022-01-01"));
  setTestClock(localTimePoint(2021, 12, 31, 12, 0, 0, 5));
  logger.write("d.cpp", "f", 1, LOG_INFO, "clock set back");
  logger.stop();
  EXPECT_EQ(logger.filePath(), "");

  EXPECT_EQ(readFile(dayFile(dir, "2021-12-31")),
            "2021-12-31 23:59:59.999  :log: level: 6, area: 0, last of the year\n"
            "2021-12-31 12:00:00.005  :log: level: 6, area: 0, clock set back\n");
  EXPECT_EQ(readFile(dayFile(dir, "2022-01-01")),
            "2022-01-01 00:00:00.000  :log: level: 6, area: 0, first of the year\n");
}

// openFile creates the day's file at once; a fresh file starts with the header, a reopened
// non-empty one gets none; reopenFile brings back a file removed meanwhile.
TEST(DailyFiles, OpeningHeaderAndReopening) {
  ScratchDir dir;
  setTestClock(localTimePoint(2021, 10, 8, 10, 6, 50, 123));
  LogOption option = dailyOption(dir);
  option.strHeader = "== header ==\n";
  option.bLogFlushImmediately = true;
  Logger logger;
  logger.start(option);
  logger.openFile();
  EXPECT_EQ(logger.filePath(), dayFile(dir, "2021-10-08"));
  EXPECT_EQ(readFile(dayFile(dir, "2021-10-08")), "== header ==\n");
  logger.write("d.cpp", "f", 1, LOG_INFO, "one");
  logger.stop();
  logger.start(option);
  logger.write("d.cpp", "f", 1, LOG_INFO, "two");
  const std::string strOne = "2021-10-08 10:06:50.123  :log: level: 6, area: 0, one\n";
  const std::string strTwo = "2021-10-08 10:06:50.123  :log: level: 6, area: 0, two\n";
  EXPECT_EQ(readFile(dayFile(dir, "2021-10-08")), "== header ==\n" + strOne + strTwo);

  std::filesystem::remove(dayFile(dir, "2021-10-08"));
  logger.write("d.cpp", "f", 1, LOG_INFO, "into the removed file");
  EXPECT_FALSE(fileExists(dayFile(dir, "2021-10-08")));
  logger.reopenFile();
  logger.write("d.cpp", "f", 1, LOG_INFO, "two");
  logger.stop();
  EXPECT_EQ(readFile(dayFile(dir, "2021-10-08")), "== header ==\n" + strTwo);
}

// A daily log does not make its directory; lines are lost while it is missing and written once
// it is there.
TEST(DailyFiles, MissingDirectoryLosesLinesUntilItExists) {
  ScratchDir dir;
  setTestClock(localTimePoint(2021, 10, 8, 10, 6, 50, 123));
  LogOption option = dailyOption(dir);
  option.strLogDir = dir.path() + "/later";
  Logger logger;
  logger.start(option);
  logger.write("d.cpp", "f", 1, LOG_INFO, "lost");
  EXPECT_FALSE(fileExists(option.strLogDir));
  std::filesystem::create_directory(option.strLogDir);
  logger.write("d.cpp", "f", 1, LOG_INFO, "kept");
  logger.stop();
  EXPECT_EQ(readFile(option.strLogDir + "/2021-10-08-daily.log"),
            "2021-10-08 10:06:50.123  :log: level: 6, area: 0, kept\n");
}
