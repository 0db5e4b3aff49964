#include "systemd_service.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace zt::platform {
namespace {

// A folder with a unit directory, a runtime directory and a systemctl stand-in that records
// its arguments and fails for "is-active".
class SystemdServiceTest : public TestFolder {
protected:
  void SetUp() override {
    TestFolder::SetUp();
    std::filesystem::create_directory(m_strDir + "/units");
    std::ofstream script(m_strDir + "/systemctl");
    script << "#!/bin/sh\necho \"$@\" >> " << m_strDir << "/calls\n[ \"$1\" != is-active ]\n";
    script.close();
    std::filesystem::permissions(m_strDir + "/systemctl", std::filesystem::perms::owner_all);
    m_settings = {m_strDir + "/units", m_strDir + "/systemctl", m_strDir + "/run"};
  }
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
