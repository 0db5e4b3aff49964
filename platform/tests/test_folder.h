// A fresh folder below /tmp for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zt::platform {

inline std::string readFile(const std::string &strPath) {
  std::ifstream file(strPath);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

class TestFolder : public ::testing::Test {
protected:
  void SetUp() override {
    char szDir[] = "/tmp/zt-platform-XXXXXX";
    ASSERT_NE(mkdtemp(szDir), nullptr);
    m_strDir = szDir;
  }
  void TearDown() override { std::filesystem::remove_all(m_strDir); }
  std::string m_strDir;
};

} // namespace zt::platform
