#include "ztlog.h"

#include "allocation_failure.h"
#include "process_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

std::string logFile(const std::string &strModule) {
  return zt::platform::executableDirectory() + "/log/" + strModule + ".log";
}

std::string readFile(const std::string &strPath) {
  std::ifstream in(strPath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Polls until the file holds at least nLines lines (the channel's writer runs every 100 ms).
std::string waitForLines(const std::string &strPath, size_t nLines) {
  std::string strText;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < deadline) {
    strText = readFile(strPath);
    if (static_cast<size_t>(std::count(strText.begin(), strText.end(), '\n')) >= nLines) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return strText;
}

std::string uniqueModule(const std::string &strStem) {
  return strStem + "_" + std::to_string(getpid());
}

} // namespace

TEST(Ztlog, ChannelsWriteTheirModuleFileWithLevelNames) {
  const std::string strModule = uniqueModule("ztlog_levels");
  unlink(logFile(strModule).c_str());
  int nChannel = ztLogInit(strModule.c_str());
  ASSERT_GE(nChannel, 0);
  EXPECT_EQ(ztLogInit(strModule.c_str()), nChannel);
  const std::string strOther = uniqueModule("ztlog_other");
  int nOther = ztLogInit(strOther.c_str());
  EXPECT_GE(nOther, 0);
  EXPECT_NE(nOther, nChannel);

  ztLogPrintf(nChannel, ZTLOG_LEVEL_ERROR, "failed code=%d", -1);
  ztLogPrintf(nChannel, ZTLOG_LEVEL_NOTICE, "notice %s", "n");
  ztLogPrintf(nChannel, ZTLOG_LEVEL_PROGRESS, "progress");
  ztLogPrintf(nChannel, 100, "near alert");
  ztLogPrintf(nChannel, 650, "between notice and progress");
  ztLogPrintf(nChannel, 900, "detail");
  ztLogPrintf(nChannel + 1000, ZTLOG_LEVEL_ERROR, "unknown channel");

  std::string strText = waitForLines(logFile(strModule), 6);
  std::istringstream lines(strText);
  std::vector<std::string> expected = {
      "[ERROR][",   "] failed code=-1", "[NOTICE][",    "] notice n", "[INFO][",
      "] progress", "[ALERT][",         "] near alert", "[NOTICE][",  "] between notice and progress",
      "[DEBUG][",   "] detail"};
  std::string strLine;
  for (size_t i = 0; i < expected.size(); i += 2) {
    ASSERT_TRUE(std::getline(lines, strLine)) << strText;
    EXPECT_NE(strLine.find(expected[i]), std::string::npos) << strLine;
    EXPECT_NE(strLine.find(expected[i + 1] + "\r"), std::string::npos) << strLine;
  }
  EXPECT_FALSE(std::getline(lines, strLine)) << strLine;
  EXPECT_EQ(strText.find("unknown channel"), std::string::npos);
  unlink(logFile(strModule).c_str());
  unlink(logFile(strOther).c_str());
}

// A channel's lines are short ones: the time stamp, the level and the calling thread's id, then
// the message and CR LF.
TEST(Ztlog, LinesAreExactShortLines) {
  const std::string strModule = uniqueModule("ztlog_exact");
  unlink(logFile(strModule).c_str());
  int nChannel = ztLogInit(strModule.c_str());
  ASSERT_GE(nChannel, 0);
  ztLogPrintf(nChannel, ZTLOG_LEVEL_ERROR, "ZtdmImpl::create,failed,strIp=%s,nPort=%d", "10.0.0.1", 1883);
  ztLogPrintf(nChannel, ZTLOG_LEVEL_PROGRESS, "%s", "100% done");

  const std::string strThread = std::to_string(syscall(SYS_gettid));
  std::istringstream lines(waitForLines(logFile(strModule), 2));
  const std::vector<std::string> expected = {"[ERROR][" + strThread +
                                                 "] ZtdmImpl::create,failed,strIp=10.0.0.1,nPort=1883\r",
                                             "[INFO][" + strThread + "] 100% done\r"};
  const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}  )");
  const size_t nStamp = 25;
  std::string strLine;
  for (const std::string &strExpected : expected) {
    ASSERT_TRUE(std::getline(lines, strLine));
    ASSERT_GT(strLine.size(), nStamp) << strLine;
    EXPECT_TRUE(std::regex_match(strLine.substr(0, nStamp), stamp)) << strLine;
    EXPECT_EQ(strLine.substr(nStamp), strExpected);
  }
  EXPECT_FALSE(std::getline(lines, strLine)) << strLine;
  unlink(logFile(strModule).c_str());
}

TEST(Ztlog, ThreadsOpeningAndWritingTogetherShareOneChannel) {
  const std::string strModule = uniqueModule("ztlog_threads");
  unlink(logFile(strModule).c_str());
  const int nThreads = 4, nPerThread = 200;
  std::vector<int> channels(nThreads, -1);
  std::vector<std::thread> threads;
  for (int t = 0; t < nThreads; ++t) {
    threads.emplace_back([&, t] {
      channels[t] = ztLogInit(strModule.c_str());
      for (int i = 0; i < nPerThread; ++i) {
        ztLogPrintf(channels[t], ZTLOG_LEVEL_NOTICE, "thread %d line %d", t, i);
      }
    });
  }
  for (std::thread &th : threads) {
    th.join();
  }
  for (int nChannel : channels) {
    EXPECT_EQ(nChannel, channels[0]);
  }
  std::string strText = waitForLines(logFile(strModule), nThreads * nPerThread);
  EXPECT_EQ(std::count(strText.begin(), strText.end(), '\n'), nThreads * nPerThread);
  unlink(logFile(strModule).c_str());
}

TEST(Ztlog, BadModuleNamesAreRefused) {
  EXPECT_LT(ztLogInit(nullptr), 0);
  EXPECT_LT(ztLogInit(""), 0);
  EXPECT_LT(ztLogInit("../escape"), 0);
  ztLogPrintf(-1, ZTLOG_LEVEL_ERROR, "nothing");
}

TEST(Ztlog, NormalExitWritesOutEveryQueuedLine) {
  const std::string strModule = uniqueModule("ztlog_exit");
  unlink(logFile(strModule).c_str());
  const std::string strHelper = zt::platform::executableDirectory() + "/ztlog_exit_writer";
  const int nLines = 5000;
  std::string strCount = std::to_string(nLines);
  char *argv[] = {const_cast<char *>(strHelper.c_str()), const_cast<char *>(strModule.c_str()),
                  const_cast<char *>(strCount.c_str()), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, strHelper.c_str(), nullptr, nullptr, argv, environ), 0);
  int nStatus = 0;
  ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
  ASSERT_TRUE(WIFEXITED(nStatus));
  EXPECT_EQ(WEXITSTATUS(nStatus), 0);

  std::string strText = readFile(logFile(strModule));
  EXPECT_EQ(std::count(strText.begin(), strText.end(), '\n'), nLines);
  EXPECT_NE(strText.find("] exit line " + std::to_string(nLines - 1) + "\r\n"), std::string::npos);
  unlink(logFile(strModule).c_str());
}

// Running out of memory inside either function ends that call (ztLogInit with -1) and leaves one
// line on standard error; the channels keep working.
TEST(Ztlog, ExceptionsStopAtTheBoundary) {
  const std::string strModule = uniqueModule("ztlog_out_of_memory_channel");
  const std::string strLong(4000, 'x'); // a line this long needs its own buffer
  testing::internal::CaptureStderr();
  zt::test::failNextAllocation();
  int nFailed = ztLogInit(strModule.c_str());
  int nChannel = ztLogInit(strModule.c_str());
  zt::test::failNextAllocation();
  ztLogPrintf(nChannel, ZTLOG_LEVEL_ERROR, "%s", strLong.c_str());
  ztLogPrintf(nChannel, ZTLOG_LEVEL_ERROR, "after the failure");
  std::string strErr = testing::internal::GetCapturedStderr();
  EXPECT_EQ(nFailed, -1);
  EXPECT_GE(nChannel, 0);
  EXPECT_EQ(strErr, "ztlog: ztLogInit,exception,out of memory\nztlog: ztLogPrintf,exception,out of memory\n");
  std::string strText = waitForLines(logFile(strModule), 1);
  EXPECT_NE(strText.find("] after the failure\r\n"), std::string::npos);
  EXPECT_EQ(strText.find("xxxx"), std::string::npos);
  unlink(logFile(strModule).c_str());
}
