#include "systemd_service.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace zt::platform {
namespace {

std::string readFile(const std::string &strPath) {
  std::ifstream file(strPath);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

// A folder with a unit directory, a runtime directory and a systemctl stand-in that records
// its arguments and fails for "is-active".
class SystemdServiceTest : public ::testing::Test {
protected:
  void SetUp() override {
    char szDir[] = "/tmp/zt-systemd-XXXXXX";
    ASSERT_NE(mkdtemp(szDir), nullptr);
    m_strDir = szDir;
    std::filesystem::create_directory(m_strDir + "/units");
    std::ofstream script(m_strDir + "/systemctl");
    script << "#!/bin/sh\necho \"$@\" >> " << m_strDir << "/calls\n[ \"$1\" != is-active ]\n";
    script.close();
    std::filesystem::permissions(m_strDir + "/systemctl", std::filesystem::perms::owner_all);
    m_settings = {m_strDir + "/units", m_strDir + "/systemctl", m_strDir + "/run"};
  }
  void TearDown() override { std::filesystem::remove_all(m_strDir); }

  std::string m_strDir;
  SystemdSettings m_settings;
};

TEST_F(SystemdServiceTest, WritesAndRemovesTheUnitFile) {
  SystemdService service("Demo", m_settings);
  EXPECT_EQ(service.unitPath(), m_strDir + "/units/Demo.service");
  EXPECT_FALSE(service.unitInstalled());
  ASSERT_TRUE(service.writeUnit("[Unit]\nDescription=Demo\n"));
  EXPECT_TRUE(service.unitInstalled());
  EXPECT_EQ(readFile(service.unitPath()), "[Unit]\nDescription=Demo\n");
  EXPECT_TRUE(service.removeUnit());
  EXPECT_FALSE(service.unitInstalled());
  EXPECT_FALSE(service.removeUnit());

  SystemdService nowhere("Demo", {m_strDir + "/missing", m_settings.strSystemctl, m_settings.strRuntimeDirectory});
  EXPECT_FALSE(nowhere.writeUnit("x"));
}

TEST_F(SystemdServiceTest, RunsSystemctlWithTheUnitAndReportsItsStatus) {
  SystemdService service("Demo", m_settings);
  EXPECT_TRUE(service.systemctl({"enable"}));
  EXPECT_TRUE(service.systemctl({"daemon-reload"}, false));
  EXPECT_FALSE(service.active());
  EXPECT_EQ(readFile(m_strDir + "/calls"), "enable Demo.service\ndaemon-reload\nis-active --quiet Demo.service\n");

  SystemdService missing("Demo", {m_settings.strUnitDirectory, m_strDir + "/no-such-command", ""});
  EXPECT_FALSE(missing.systemctl({"start"}));
}

TEST_F(SystemdServiceTest, SystemdRunsOnlyWhereItsRuntimeDirectoryExists) {
  SystemdService service("Demo", m_settings);
  EXPECT_FALSE(service.systemdRunning());
  std::filesystem::create_directory(m_strDir + "/run");
  EXPECT_TRUE(service.systemdRunning());
}

} // namespace
} // namespace zt::platform
