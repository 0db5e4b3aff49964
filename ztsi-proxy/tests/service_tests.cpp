// The service switches against a stand-in systemctl, and the program run as systemd runs it.
#include "broker.h"
#include "proxy_test_support.h"
#include "win_service.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zt::proxy::test {
namespace {

// A service whose start and stop only count.
class CountingService : public WinService {
public:
  using WinService::WinService;
  void OnStart() override { ++nStarts; }
  void OnStop() override { ++nStops; }
  int nStarts = 0;
  int nStops = 0;
};

// A unit folder, a runtime folder (systemd "running") and a systemctl that records its calls;
// "is-active" answers from the file "active".
class ServiceSwitches : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(m_dir.path() + "/units");
    std::filesystem::create_directories(m_dir.path() + "/run");
    std::string strScript = m_dir.write("systemctl", "#!/bin/sh\n"
                                                     "echo \"$@\" >> " + m_dir.path() + "/calls\n"
                                                     "case \"$1\" in\n"
                                                     "  is-active) [ -e " + m_dir.path() + "/active ] ;;\n"
                                                     "  start) [ ! -e " + m_dir.path() + "/fail-start ] ;;\n"
                                                     "esac\n");
    std::filesystem::permissions(strScript, std::filesystem::perms::owner_all);
    m_settings = {m_dir.path() + "/units", strScript, m_dir.path() + "/run"};
  }

  int run(const std::vector<std::string> &vecArgs) {
    zt::platform::SystemdService systemd("ZtsiProxyService", m_settings);
    CountingService service(systemd, "ZTSI Proxy Service", m_out, m_err);
    return service.Main(parseCommandLine(vecArgs), "\"/opt/zt/ztsi-proxy\" --base-dir \"/srv/site a\"");
  }
  std::string calls() const { return readFile(m_dir.path() + "/calls"); }
  std::string unit() const { return readFile(m_dir.path() + "/units/ZtsiProxyService.service"); }

  TempDir m_dir;
  zt::platform::SystemdSettings m_settings;
  std::ostringstream m_out;
  std::ostringstream m_err;
};

TEST_F(ServiceSwitches, InstallWritesEnablesAndStartsTheUnit) {
  EXPECT_EQ(run({"-Install"}), 0);
  std::string strUnit = unit();
  EXPECT_NE(strUnit.find("Description=ZTSI Proxy Service\n"), std::string::npos);
  EXPECT_NE(strUnit.find("ExecStart=\"/opt/zt/ztsi-proxy\" --base-dir \"/srv/site a\"\n"), std::string::npos);
  EXPECT_NE(strUnit.find("Restart=on-failure\n"), std::string::npos);
  EXPECT_NE(strUnit.find("RestartSec=5\n"), std::string::npos);
  EXPECT_NE(strUnit.find("WantedBy=multi-user.target\n"), std::string::npos);
  EXPECT_EQ(calls(), "daemon-reload\nenable ZtsiProxyService.service\nstart ZtsiProxyService.service\n");

  // Installed already: said so, the unit stays as it is, and the service is still started.
  m_dir.write("units/ZtsiProxyService.service", "kept");
  std::filesystem::remove(m_dir.path() + "/calls");
  EXPECT_EQ(run({"/INSTALL"}), 0);
  EXPECT_NE(m_out.str().find("ZtsiProxyService has installed\n"), std::string::npos);
  EXPECT_EQ(unit(), "kept");
  EXPECT_EQ(calls(), "start ZtsiProxyService.service\n");
}

TEST_F(ServiceSwitches, InstallOnlyDoesNotStartAndAFailedStartIsAnError) {
  EXPECT_EQ(run({"-InstallOnly"}), 0);
  EXPECT_EQ(calls(), "daemon-reload\nenable ZtsiProxyService.service\n");

  m_dir.write("fail-start", "");
  EXPECT_NE(run({"-Install"}), 0);
  EXPECT_NE(m_err.str().find("StartService fail"), std::string::npos);
}

TEST_F(ServiceSwitches, UnInstallStopsARunningServiceDisablesAndRemovesIt) {
  EXPECT_NE(run({"-UnInstall"}), 0); // nothing installed
  EXPECT_NE(m_err.str().find("ZtsiProxyService is not installed"), std::string::npos);

  m_dir.write("units/ZtsiProxyService.service", "unit");
  m_dir.write("active", "");
  EXPECT_EQ(run({"-UnInstall"}), 0);
  EXPECT_NE(m_out.str().find("UnInstall\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(m_dir.path() + "/units/ZtsiProxyService.service"));
  EXPECT_EQ(calls(), "is-active --quiet ZtsiProxyService.service\nstop ZtsiProxyService.service\n"
                     "disable ZtsiProxyService.service\ndaemon-reload\n");
}

TEST_F(ServiceSwitches, StopSendsTheStopOnlyToARunningService) {
  EXPECT_EQ(run({"-Stop"}), 0);
  EXPECT_EQ(calls(), "is-active --quiet ZtsiProxyService.service\n");
  m_dir.write("active", "");
  EXPECT_EQ(run({"-stop"}), 0);
  EXPECT_EQ(calls(), "is-active --quiet ZtsiProxyService.service\nis-active --quiet ZtsiProxyService.service\n"
                     "stop ZtsiProxyService.service\n");
}

TEST_F(ServiceSwitches, WithoutSystemdEverySwitchFailsWithOneClearLine) {
  std::filesystem::remove(m_dir.path() + "/run");
  for (const char *pstrSwitch : {"-Install", "-InstallOnly", "-UnInstall", "-Stop"}) {
    m_err.str("");
    EXPECT_EQ(run({pstrSwitch}), 1) << pstrSwitch;
    std::string strError = m_err.str();
    EXPECT_NE(strError.find("systemd is not running"), std::string::npos) << strError;
    EXPECT_EQ(std::count(strError.begin(), strError.end(), '\n'), 1) << strError;
  }
  EXPECT_FALSE(std::filesystem::exists(m_dir.path() + "/calls"));
  EXPECT_FALSE(std::filesystem::exists(m_dir.path() + "/units/ZtsiProxyService.service"));
}

// ---- The program itself ----

class Program : public ::testing::Test {
protected:
  pid_t start(const std::vector<std::string> &vecArgs) {
    pid_t pid = fork();
    if (pid == 0) {
      std::string strOut = m_dir.path() + "/stdout";
      std::string strErr = m_dir.path() + "/stderr";
      if (freopen(strOut.c_str(), "w", stdout) == nullptr || freopen(strErr.c_str(), "w", stderr) == nullptr)
        _exit(126);
      std::vector<char *> vecArgv{const_cast<char *>(ZTSI_PROXY_PATH)};
      for (const std::string &strArg : vecArgs)
        vecArgv.push_back(const_cast<char *>(strArg.c_str()));
      vecArgv.push_back(nullptr);
      execv(ZTSI_PROXY_PATH, vecArgv.data());
      _exit(127);
    }
    return pid;
  }
  static int waitExit(pid_t pid) {
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    return nStatus;
  }
  bool logSays(const std::string &strText) const {
    return zt::test::waitFor([&] { return readFile(m_dir.path() + "/log/ztsi-proxy.log").find(strText) != std::string::npos; },
                             10s);
  }
  TempDir m_dir;
};

TEST_F(Program, RunsInTheForegroundUntilSigtermAndExitsCleanly) {
  m_dir.write("config/system.json", R"({"System": {"RunMode": 1, "LocalAddr": "127.0.0.1:1"}})");
  m_dir.write("config/logger.json", R"({"Logger": {"LogFlushImmediately": true, "LogAsync": false}})");
  pid_t pid = start({"--base-dir", m_dir.path()});
  ASSERT_TRUE(logSays("ZtsiProxyService::OnStart,3"));
  kill(pid, SIGTERM);
  int nStatus = waitExit(pid);
  ASSERT_TRUE(WIFEXITED(nStatus));
  EXPECT_EQ(WEXITSTATUS(nStatus), 0);
  std::string strLog = readFile(m_dir.path() + "/log/ztsi-proxy.log");
  EXPECT_NE(strLog.find("nRunMode=1"), std::string::npos);
  EXPECT_NE(strLog.find("ZtsiProxyService::OnStop,2"), std::string::npos);
  EXPECT_EQ(readFile(m_dir.path() + "/stdout"), "ztsi-proxy start...\nztsi-proxy exit\n");
}

TEST_F(Program, RunAsAppStopsOnSigintAndACrashLeavesAReport) {
  m_dir.write("config/logger.json", R"({"Logger": {"LogFlushImmediately": true, "LogAsync": false}})");
  pid_t pid = start({"/RunAsApp", "--base-dir", m_dir.path()});
  ASSERT_TRUE(logSays("ZtsiProxyService::OnStart,3"));
  kill(pid, SIGINT);
  int nStatus = waitExit(pid);
  ASSERT_TRUE(WIFEXITED(nStatus));
  EXPECT_EQ(WEXITSTATUS(nStatus), 0);
  EXPECT_EQ(readFile(m_dir.path() + "/stdout"), "ztsi-proxy start...\nztsi-proxy runasapp\nztsi-proxy exit\n");

  // SIGABRT is free under every sanitizer, so the program's own report takes it.
  std::filesystem::remove(m_dir.path() + "/stdout");
  pid = start({"-runasapp", "--base-dir", m_dir.path()});
  ASSERT_TRUE(zt::test::waitFor(
      [&] { return readFile(m_dir.path() + "/stdout").find("runasapp") != std::string::npos; }, 10s));
  kill(pid, SIGABRT);
  nStatus = waitExit(pid);
  ASSERT_TRUE(WIFSIGNALED(nStatus));
  EXPECT_EQ(WTERMSIG(nStatus), SIGABRT);
  std::string strReport = readFile(m_dir.path() + "/ztsi-proxy.dmp");
  EXPECT_EQ(strReport.rfind("ztsi-proxy crash report\nsignal: 6\nbacktrace:\n", 0), 0u) << strReport;
}

TEST_F(Program, RefusesUnknownArgumentsAndDocumentsTheSwitches) {
  pid_t pid = start({"--help"});
  int nStatus = waitExit(pid);
  EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
  std::string strHelp = readFile(m_dir.path() + "/stdout");
  for (const char *pstrWord : {"--base-dir", "-runasapp", "-Install", "-InstallOnly", "-UnInstall", "-Stop"})
    EXPECT_NE(strHelp.find(pstrWord), std::string::npos) << pstrWord;
  pid = start({"-frobnicate"});
  nStatus = waitExit(pid);
  EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 2);
  EXPECT_EQ(readFile(m_dir.path() + "/stderr").rfind("ztsi-proxy: unknown argument: -frobnicate\n", 0), 0u);
}

} // namespace
} // namespace zt::proxy::test
