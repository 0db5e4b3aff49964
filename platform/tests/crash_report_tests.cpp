#include "crash_report.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace zt::platform {
namespace {

// Runs body in a child and returns the signal that ended it (0 when it exited).
int crashInChild(const std::function<void()> &body) {
  pid_t pid = fork();
  if (pid == 0) {
    body();
    _exit(3);
  }
  int nStatus = 0;
  waitpid(pid, &nStatus, 0);
  return WIFSIGNALED(nStatus) ? WTERMSIG(nStatus) : 0;
}

using CrashReport = TestFolder;

TEST_F(CrashReport, WritesTitleSignalAndBacktraceThenEndsWithTheSignal) {
  std::string strPath = m_strDir + "/prog.dmp";
  EXPECT_EQ(crashInChild([&] {
              installCrashReport(strPath, "prog crash report");
              raise(SIGABRT);
            }),
            SIGABRT);
  std::string strReport = readFile(strPath);
  EXPECT_EQ(strReport.rfind("prog crash report\nsignal: 6\nbacktrace:\n", 0), 0u) << strReport;
  EXPECT_GT(strReport.size(), 40u); // at least one frame
}

TEST_F(CrashReport, ALaterInstallKeepsTheFirstFileAndAnApplicationHandlerStays) {
  std::string strFirst = m_strDir + "/first.dmp";
  std::string strSecond = m_strDir + "/second.dmp";
  EXPECT_EQ(crashInChild([&] {
              installCrashReport(strFirst, "first");
              installCrashReport(strSecond, "second");
              raise(SIGABRT);
            }),
            SIGABRT);
  EXPECT_NE(readFile(strFirst).find("first\nsignal: 6"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(strSecond));

  // A handler the application set before is left alone: it exits with 7, no report.
  std::string strOwn = m_strDir + "/own.dmp";
  EXPECT_EQ(crashInChild([&] {
              signal(SIGABRT, [](int) { _exit(7); });
              installCrashReport(strOwn, "own");
              raise(SIGABRT);
            }),
            0);
  EXPECT_FALSE(std::filesystem::exists(strOwn));
}

} // namespace
} // namespace zt::platform
