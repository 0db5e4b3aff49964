#include "process_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

TEST(ProcessPaths, NamesTheRunningTestBinary) {
  EXPECT_EQ(zt::platform::programBaseName(), "platform_tests");
  std::string strDir = zt::platform::executableDirectory();
  EXPECT_EQ(zt::platform::executablePath(), strDir + "/platform_tests");
}

TEST(ProcessPaths, MakeDirectoriesCreatesParentsAndRefusesFiles) {
  char tmpl[] = "/tmp/zt_paths_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string strBase = tmpl;
  EXPECT_TRUE(zt::platform::makeDirectories(strBase + "/a/b/c"));
  EXPECT_TRUE(zt::platform::makeDirectories(strBase + "/a/b/c"));
  std::string strFile = strBase + "/file";
  FILE *f = fopen(strFile.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  EXPECT_FALSE(zt::platform::makeDirectories(strFile + "/sub"));
  std::string cmd = "rm -rf " + strBase;
  ASSERT_EQ(system(cmd.c_str()), 0);
}
