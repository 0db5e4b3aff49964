#include "log_test_support.h"
#include "logger.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zt::log;
using namespace zt::log::test;

namespace {

const std::string kHeader = "== header ==\r\n";

LogOption rotatingOption(const ScratchDir &dir, uint64_t nMaxSize) {
  LogOption option = fileOption(dir.path(), "rot");
  option.strHeader = kHeader;
  option.nLogMaxSize = nMaxSize;
  return option;
}

size_t filesIn(const ScratchDir &dir) {
  size_t nFiles = 0;
  for (const auto &entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++nFiles;
  }
  return nFiles;
}

// The number after "line=" in a record, or -1 for anything else.
int lineNumber(const std::string &strLine) {
  size_t pos = strLine.find("line=");
  return pos == std::string::npos ? -1 : std::stoi(strLine.substr(pos + 5));
}

} // namespace

TEST(LoggerRotation, FullFileBecomesTheOnlyBackupAndFreshFileStartsWithHeader) {
  ScratchDir dir;
  const uint64_t nMaxSize = 400;
  zt::log::Logger logger;
  logger.start(rotatingOption(dir, nMaxSize));
  const int nLines = 40;
  for (int i = 0; i < nLines; ++i) {
    logger.write("r.cpp", "f", 1, zt::log::LOG_INFO, "line=%d", i);
  }
  logger.stop();

  std::string strLog = readFile(dir.path() + "/rot.log");
  std::string strBak = readFile(dir.path() + "/rot.bak");
  EXPECT_EQ(filesIn(dir), 2u);
  EXPECT_EQ(strLog.compare(0, kHeader.size(), kHeader), 0);
  EXPECT_EQ(strBak.compare(0, kHeader.size(), kHeader), 0);
  EXPECT_LE(strLog.size(), nMaxSize);
  EXPECT_LE(strBak.size(), nMaxSize);

  // The backup and the current file hold consecutive records ending with the last one.
  std::vector<std::string> lines = splitLines(strBak.substr(kHeader.size()));
  std::vector<std::string> current = splitLines(strLog.substr(kHeader.size()));
  lines.insert(lines.end(), current.begin(), current.end());
  ASSERT_FALSE(lines.empty());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lineNumber(lines[i]), nLines - static_cast<int>(lines.size() - i)) << lines[i];
  }
}

TEST(LoggerRotation, OversizedLineNeverReplacesTheBackupWithAnEmptyFile) {
  ScratchDir dir;
  zt::log::Logger logger;
  logger.start(rotatingOption(dir, 300));
  const std::string strHuge(1000, 'h');
  // A fresh file holding only its header takes the oversized line without rotating.
  logger.write("r.cpp", "f", 1, zt::log::LOG_INFO, "%s", strHuge.c_str());
  EXPECT_FALSE(fileExists(dir.path() + "/rot.bak"));
  logger.write("r.cpp", "f", 1, LOG_INFO, "line=%d", 1);
  logger.write("r.cpp", "f", 1, LOG_INFO, "%s", strHuge.c_str());
  logger.write("r.cpp", "f", 1, LOG_INFO, "%s", strHuge.c_str());
  logger.stop();

  std::vector<std::string> bak = splitLines(readFile(dir.path() + "/rot.bak"));
  std::vector<std::string> log = splitLines(readFile(dir.path() + "/rot.log"));
  ASSERT_EQ(bak.size(), 2u);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(bak[0] + "\r\n", kHeader);
  EXPECT_NE(bak[1].find(strHuge), std::string::npos);
  EXPECT_NE(log[1].find(strHuge), std::string::npos);
}

TEST(LoggerRotation, ReopenedNonEmptyFileGetsNoHeaderAndKeepsCountingItsSize) {
  ScratchDir dir;
  {
    zt::log::Logger logger;
    logger.start(rotatingOption(dir, 4000));
    logger.write("r.cpp", "f", 1, zt::log::LOG_INFO, "line=%d", 0);
    logger.stop();
    logger.start(rotatingOption(dir, 4000));
    logger.write("r.cpp", "f", 1, LOG_INFO, "line=%d", 1);
    logger.stop();
  }
  std::vector<std::string> lines = splitLines(readFile(dir.path() + "/rot.log"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0] + "\r\n", kHeader);
  EXPECT_EQ(lineNumber(lines[1]), 0);
  EXPECT_EQ(lineNumber(lines[2]), 1);

  // A restart whose limit the existing content already nearly fills rotates on the first line.
  const uint64_t nExisting = readFile(dir.path() + "/rot.log").size();
  zt::log::Logger logger;
  logger.start(rotatingOption(dir, nExisting + 10));
  logger.write("r.cpp", "f", 1, zt::log::LOG_INFO, "line=%d", 2);
  logger.stop();
  EXPECT_EQ(splitLines(readFile(dir.path() + "/rot.bak")).size(), 3u);
  lines = splitLines(readFile(dir.path() + "/rot.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lineNumber(lines[1]), 2);
}
