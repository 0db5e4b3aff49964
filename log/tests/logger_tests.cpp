#include "log_test_support.h"
#include "logger.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace zt::log;
using namespace zt::log::test;

namespace {

std::string logPath(const ScratchDir &dir, const std::string &strName) {
  return dir.path() + "/" + strName + ".log";
}

LogOption formatOption(const ScratchDir &dir, const std::string &strName, bool bFunctionName,
                       LineFormat eFormat) {
  LogOption option = fileOption(dir.path(), strName);
  option.bLogFuctionName = bFunctionName;
  option.eFormat = eFormat;
  return option;
}

} // namespace

TEST(LoggerLevels, RecordsAboveTheLevelOrBeforeStartAreDropped) {
  ScratchDir dir;
  zt::log::Logger logger;
  EXPECT_FALSE(logger.enabled(zt::log::LOG_FATAL));
  logger.write("a.cpp", "f", 1, zt::log::LOG_FATAL, "before start");

  zt::log::LogOption option = fileOption(dir.path(), "levels");
  option.nLogLevel = zt::log::LOG_INFO;
  logger.start(option);
  EXPECT_TRUE(logger.enabled(LOG_INFO));
  EXPECT_FALSE(logger.enabled(zt::log::LOG_DEBUG));
  logger.write("a.cpp", "f", 2, zt::log::LOG_DEBUG, "debug dropped");
  logger.write("a.cpp", "f", 3, LOG_INFO, "info kept");
  logger.write("a.cpp", "f", 4, LOG_FATAL, "fatal kept");
  logger.stop();
  logger.write("a.cpp", "f", 5, LOG_FATAL, "after stop");

  std::vector<std::string> lines = splitLines(readFile(logPath(dir, "levels")));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("[INFO]"), std::string::npos);
  EXPECT_NE(lines[0].find("info kept"), std::string::npos);
  EXPECT_NE(lines[1].find("[FATAL]"), std::string::npos);
}

// Every line format, byte for byte: the time stamp comes from the injected clock, the thread
// id is the writing thread's.
TEST(LoggerFormats, EveryFormatIsExactToTheByte) {
  ScratchDir dir;
  setTestClock(localTimePoint(2021, 10, 8, 9, 5, 7, 42));
  const std::string strStamp = "2021-10-08 09:05:07.042  ";
  const std::string strThread = threadIdText();
  struct Case {
    bool bFunctionName;
    LineFormat eFormat;
    std::string strLine;
  } cases[] = {
      {false, LineFormat::Standard, strStamp + "[WARN][handle.cpp:42][" + strThread + "] value=7\r\n"},
      {true, LineFormat::Standard,
       strStamp + "[WARN][handle.cpp:42][Cls::run][" + strThread + "] value=7\r\n"},
      {false, LineFormat::Busline, strStamp + "[WARN][" + strThread + "] value=7\r\n"},
      {true, LineFormat::Busline,
       strStamp + "[WARN][handle.cpp:42][Cls::run][" + strThread + "] value=7\r\n"},
      {false, LineFormat::Ztip, strStamp + ":log: level: 4, area: 0, value=7\n"},
      {true, LineFormat::Ztip, strStamp + ":log: level: 4, area: 0, value=7\n"},
  };
  int nCase = 0;
  for (const Case &c : cases) {
    std::string strName = "format" + std::to_string(nCase++);
    zt::log::Logger logger;
    LogOption option = formatOption(dir, strName, c.bFunctionName, c.eFormat);
    option.pClock = testClock;
    logger.start(option);
    logger.write("C:\\src\\proxy/handle.cpp", "Cls::run", 42, zt::log::LOG_WARN, "value=%d", 7);
    logger.stop();
    EXPECT_EQ(readFile(logPath(dir, strName)), c.strLine) << strName;
  }
}

// The fields each format takes from a record: ZTIP's level and area (negative ones too), a level
// without a name, a null function and a source name without a directory.
TEST(LoggerFormats, RecordFieldsAtTheirEdges) {
  ScratchDir dir;
  setTestClock(localTimePoint(1999, 12, 31, 23, 59, 59, 999));
  const std::string strStamp = "1999-12-31 23:59:59.999  ";
  zt::log::Logger logger;
  LogOption option = formatOption(dir, "ztip", false, LineFormat::Ztip);
  option.pClock = testClock;
  option.nLogLevel = 1000;
  logger.start(option);
  LogRecord record;
  record.nLevel = 3;
  record.nArea = 6;
  logger.writeText(record, "100% text", 9);
  record.nLevel = -2;
  record.nArea = -2147483647 - 1;
  logger.writeText(record, "", 0);
  logger.stop();
  EXPECT_EQ(readFile(logPath(dir, "ztip")), strStamp + ":log: level: 3, area: 6, 100% text\n" + strStamp +
                                                ":log: level: -2, area: -2147483648, \n");

  option = formatOption(dir, "std", true, LineFormat::Standard);
  option.pClock = testClock;
  option.nLogLevel = 1000;
  logger.start(option);
  logger.write("plain.cpp", nullptr, 0, 8, "x");
  logger.write(nullptr, "f", -1, zt::log::LOG_FATAL, "y");
  logger.stop();
  const std::string strThread = threadIdText();
  EXPECT_EQ(readFile(logPath(dir, "std")), strStamp + "[UNKNOWN][plain.cpp:0][][" + strThread + "] x\r\n" +
                                               strStamp + "[FATAL][:-1][f][" + strThread + "] y\r\n");
}

TEST(LoggerFormats, LongMessagesAreNotTruncated) {
  ScratchDir dir;
  zt::log::Logger logger;
  logger.start(fileOption(dir.path(), "long"));
  for (size_t nLength : {990u, 1023u, 1024u, 1025u, 5000u, 100000u}) {
    std::string strMessage(nLength, 'x');
    strMessage.back() = 'E';
    logger.write("a.cpp", "f", 1, zt::log::LOG_ERROR, "%s", strMessage.c_str());
  }
  logger.stop();
  std::vector<std::string> lines = splitLines(readFile(logPath(dir, "long")));
  ASSERT_EQ(lines.size(), 6u);
  size_t i = 0;
  for (size_t nLength : {990u, 1023u, 1024u, 1025u, 5000u, 100000u}) {
    std::string strTail(nLength, 'x');
    strTail.back() = 'E';
    const std::string &strLine = lines[i++];
    ASSERT_GE(strLine.size(), nLength);
    EXPECT_EQ(strLine.substr(strLine.size() - nLength - 1), " " + strTail);
  }
}

// A message that is already text gives the same bytes as one formatted by the logger, in every
// line format and on both sides of the fixed line buffer; '%' in the text is kept as it is.
TEST(LoggerFormats, TextRecordsMatchFormattedOnesByteForByte) {
  ScratchDir dir;
  const std::string strThread = std::to_string(syscall(SYS_gettid));
  const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}  )");
  struct Case {
    bool bFunctionName;
    LineFormat eFormat;
    std::string strPrefix;
  } cases[] = {
      {false, LineFormat::Standard, "[NOTICE][handle.cpp:-7][" + strThread + "] "},
      {true, LineFormat::Standard, "[NOTICE][handle.cpp:-7][Cls::run][" + strThread + "] "},
      {false, LineFormat::Busline, "[NOTICE][" + strThread + "] "},
  };
  const std::vector<std::string> vecMessages = {"", "100% sure,%s%d%n", std::string(980, 'a'),
                                                std::string(1100, 'b'), std::string(5000, 'c')};
  int nCase = 0;
  for (const Case &c : cases) {
    std::string strName = "text" + std::to_string(nCase++);
    zt::log::Logger logger;
    logger.start(formatOption(dir, strName, c.bFunctionName, c.eFormat));
    for (const std::string &strMessage : vecMessages) {
      logger.write("src/handle.cpp", "Cls::run", -7, zt::log::LOG_NOTICE, "%s", strMessage.c_str());
      logger.writeText("src/handle.cpp", "Cls::run", -7, LOG_NOTICE, strMessage.data(), strMessage.size());
    }
    logger.stop();
    std::vector<std::string> lines = splitLines(readFile(logPath(dir, strName)));
    ASSERT_EQ(lines.size(), 2 * vecMessages.size());
    const size_t nStamp = 25; // "YYYY-MM-DD HH:MM:SS.mmm" and two blanks
    for (size_t i = 0; i < vecMessages.size(); ++i) {
      const std::string &strFormatted = lines[2 * i];
      const std::string &strText = lines[2 * i + 1];
      EXPECT_TRUE(std::regex_match(strText.substr(0, nStamp), stamp)) << strText.substr(0, nStamp);
      EXPECT_EQ(strFormatted.substr(nStamp), c.strPrefix + vecMessages[i]);
      EXPECT_EQ(strText.substr(nStamp), c.strPrefix + vecMessages[i]);
    }
  }
}

TEST(LoggerFailures, UncreatableDirectoryLosesLinesAndIsRetriedLater) {
  ScratchDir dir;
  // A regular file where the directory's parent should be: the directory cannot be created.
  const std::string strBlocker = dir.path() + "/blocker";
  std::ofstream(strBlocker) << "not a directory";
  const std::string strLogDir = strBlocker + "/logs";

  zt::log::Logger logger;
  logger.start(fileOption(strLogDir, "retry"));
  logger.write("a.cpp", "f", 1, zt::log::LOG_ERROR, "lost line");
  ASSERT_EQ(unlink(strBlocker.c_str()), 0);
  logger.write("a.cpp", "f", 2, LOG_ERROR, "kept line");
  logger.stop();

  std::vector<std::string> lines = splitLines(readFile(strLogDir + "/retry.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("kept line"), std::string::npos);
}

TEST(LoggerControl, ApplyControlRetunesAndFlushesAtOnce) {
  ScratchDir dir;
  zt::log::Logger logger;
  zt::log::LogOption option = fileOption(dir.path(), "control");
  option.nLogLevel = zt::log::LOG_ERROR;
  logger.start(option);
  logger.write("a.cpp", "f", 1, zt::log::LOG_INFO, "dropped");
  logger.write("a.cpp", "f", 2, LOG_ERROR, "buffered");
  EXPECT_EQ(readFile(logPath(dir, "control")), "");

  logger.applyControl(false, true, true, zt::log::LOG_DEBUG);
  EXPECT_NE(readFile(logPath(dir, "control")).find("buffered"), std::string::npos);
  logger.write("a.cpp", "f", 3, LOG_DEBUG, "flushed");
  EXPECT_NE(readFile(logPath(dir, "control")).find("flushed"), std::string::npos);

  logger.applyControl(false, false, false, LOG_DEBUG);
  EXPECT_FALSE(logger.enabled(zt::log::LOG_FATAL));
  logger.stop();
  EXPECT_EQ(splitLines(readFile(logPath(dir, "control"))).size(), 2u);
}

TEST(LoggerThreads, ConcurrentWritersProduceWholeLines) {
  for (bool bAsync : {false, true}) {
    ScratchDir dir;
    zt::log::Logger logger;
    zt::log::LogOption option = fileOption(dir.path(), "threads");
    option.bLogAsync = bAsync;
    option.nAsyncQueueLimit = 64ull * 1024 * 1024;
    logger.start(option);
    const int nThreads = 4, nPerThread = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < nThreads; ++t) {
      threads.emplace_back([&logger, t] {
        for (int i = 0; i < nPerThread; ++i) {
          logger.write("t.cpp", "f", i, zt::log::LOG_INFO, "thread=%d,i=%d,end", t, i);
        }
      });
    }
    for (std::thread &th : threads) {
      th.join();
    }
    logger.stop();

    std::vector<std::string> lines = splitLines(readFile(logPath(dir, "threads")));
    ASSERT_EQ(lines.size(), static_cast<size_t>(nThreads * nPerThread)) << "async=" << bAsync;
    std::vector<int> nextIndex(nThreads, 0);
    const std::regex pattern(R"(.*\[INFO\]\[t\.cpp:\d+\]\[\d+\] thread=(\d),i=(\d+),end)");
    for (const std::string &strLine : lines) {
      std::smatch match;
      ASSERT_TRUE(std::regex_match(strLine, match, pattern)) << strLine;
      int t = std::stoi(match[1]);
      // Each thread's lines keep their order.
      EXPECT_EQ(std::stoi(match[2]), nextIndex[t]++);
    }
  }
}

TEST(LoggerOutputs, StandardOutputGetsTheSameLinesAsTheFile) {
  ScratchDir dir;
  const std::string strCaptured = dir.path() + "/stdout.txt";
  fflush(stdout);
  int nSavedStdout = dup(STDOUT_FILENO);
  FILE *pCapture = fopen(strCaptured.c_str(), "w");
  ASSERT_NE(pCapture, nullptr);
  dup2(fileno(pCapture), STDOUT_FILENO);

  for (bool bAsync : {false, true}) {
    zt::log::Logger logger;
    zt::log::LogOption option = fileOption(dir.path(), "both");
    option.bLogToStdout = true;
    option.bLogAsync = bAsync;
    logger.start(option);
    logger.write("o.cpp", "f", 1, zt::log::LOG_ERROR, "to both async=%d", bAsync);
    logger.stop();
  }
  fflush(stdout);
  dup2(nSavedStdout, STDOUT_FILENO);
  close(nSavedStdout);
  fclose(pCapture);

  std::string strFile = readFile(dir.path() + "/both.log");
  EXPECT_EQ(readFile(strCaptured), strFile);
  EXPECT_EQ(splitLines(strFile).size(), 2u);
}

TEST(LoggerOutputs, EmptyDirectoryMeansTheWorkingDirectory) {
  ScratchDir dir;
  char szOldCwd[4096];
  ASSERT_NE(getcwd(szOldCwd, sizeof szOldCwd), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  zt::log::Logger logger;
  logger.start(fileOption("", "cwd"));
  logger.write("o.cpp", "f", 1, zt::log::LOG_ERROR, "here");
  logger.stop();
  ASSERT_EQ(chdir(szOldCwd), 0);
  EXPECT_NE(readFile(dir.path() + "/cwd.log").find("here"), std::string::npos);
}
