// The settings files, the identities, the version text, the command table and the command line.
#include "command_line.h"
#include "command_table.h"
#include "global_data.h"
#include "log_option.h"
#include "proxy_test_support.h"
#include "uuid.h"
#include "version.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

namespace zt::proxy::test {
namespace {

class SystemConfig : public ::testing::Test {
protected:
  void load(const std::string &strSystem) {
    m_dir.write("config/system.json", "{\"System\": {" + strSystem + "}}");
    loadSystemConfig(m_dir.path(), m_data);
  }
  TempDir m_dir;
  GlobalData m_data;
};

TEST_F(SystemConfig, AbsentFileGivesClientModeOnTheLocalBrokerWithFreshIdentities) {
  loadSystemConfig(m_dir.path(), m_data);
  EXPECT_EQ(m_data.nRunMode, 0);
  EXPECT_EQ(m_data.strMqttIp, "127.0.0.1");
  EXPECT_EQ(m_data.nMqttPort, 1883);
  EXPECT_EQ(m_data.nHeartbeatTimeoutS, 60);
  EXPECT_TRUE(m_data.vdtList.empty());
  EXPECT_EQ(m_data.strClientAppId.rfind("client-", 0), 0u);
  EXPECT_EQ(m_data.serverAppId().rfind("server-", 0), 0u);
  EXPECT_EQ(m_data.strClientAppId.size(), 7u + 36u);
}

TEST_F(SystemConfig, ReadsEveryMemberAndKeepsTheVdtOrder) {
  load("\"RunMode\": 2, \"MqttIp\": \"10.1.2.3\", \"MqttPort\": 1884, \"LocalId\": \"7\", "
       "\"LocalAddr\": \"0.0.0.0:9000\", \"RemoteId\": \"r\", \"RemoteAddr\": \"127.0.0.1\", "
       "\"HeartbeatTimeoutS\": 600, \"VdtList\": [5, 1, 3]");
  EXPECT_TRUE(m_data.serverMode()); // 2 selects server mode like 1
  EXPECT_EQ(m_data.strMqttIp, "10.1.2.3");
  EXPECT_EQ(m_data.nMqttPort, 1884);
  EXPECT_EQ(m_data.localId(), "7");
  EXPECT_EQ(m_data.strLocalAddr, "0.0.0.0:9000");
  EXPECT_EQ(m_data.strRemoteAddr, "127.0.0.1");
  EXPECT_EQ(m_data.nHeartbeatTimeoutS, 600);
  EXPECT_EQ(m_data.vdtList, (std::vector<int>{5, 1, 3}));
}

TEST_F(SystemConfig, OutOfRangeValuesFallBackToTheDefaults) {
  load("\"MqttIp\": \"\", \"MqttPort\": 65535, \"HeartbeatTimeoutS\": 601, \"VdtList\": \"1,2\"");
  EXPECT_EQ(m_data.strMqttIp, "127.0.0.1");
  EXPECT_EQ(m_data.nMqttPort, 1883);
  EXPECT_EQ(m_data.nHeartbeatTimeoutS, 60);
  EXPECT_TRUE(m_data.vdtList.empty()); // a text instead of an array: no error, no list

  GlobalData other;
  m_dir.write("config/system.json", "{\"System\": {\"MqttPort\": 0, \"HeartbeatTimeoutS\": 0}}");
  loadSystemConfig(m_dir.path(), other);
  EXPECT_EQ(other.nMqttPort, 1883);
  EXPECT_EQ(other.nHeartbeatTimeoutS, 60);
}

TEST_F(SystemConfig, AWrongTypeStopsTheReadingButLeavesUsableLinkSettings) {
  load("\"HeartbeatTimeoutS\": 900, \"RunMode\": \"client\", \"MqttPort\": 1999");
  EXPECT_EQ(m_data.nRunMode, 0);
  EXPECT_EQ(m_data.nMqttPort, 1883); // read after RunMode: never reached
  EXPECT_EQ(m_data.nHeartbeatTimeoutS, 60);
  // Identities are still drawn: an empty one would hide a restarted server from the client.
  EXPECT_EQ(m_data.strClientAppId.size(), 7u + 36u);
  EXPECT_EQ(m_data.serverAppId().size(), 7u + 36u);

  GlobalData broken;
  m_dir.write("config/system.json", "{ not json");
  loadSystemConfig(m_dir.path(), broken);
  EXPECT_EQ(broken.nMqttPort, 1883);
  EXPECT_FALSE(broken.strClientAppId.empty());
}

TEST(LogOptionFile, ClampsLevelSizeAndName) {
  TempDir dir;
  dir.write("config/logger.json",
            "{\"Logger\": {\"LogLevel\": 9, \"LogMaxSize\": 1000, \"LogName\": \"  \", \"LogToStdout\": true}}");
  zt::log::LogOption option = loadLogOption(dir.path());
  EXPECT_EQ(option.nLogLevel, 7);
  EXPECT_EQ(option.nLogMaxSize, 1048576u);
  EXPECT_EQ(option.strLogName, "ztsi-proxy");
  EXPECT_EQ(option.strLogDir, dir.path() + "/log");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/log"));
  EXPECT_TRUE(option.bLogToStdout);
  EXPECT_TRUE(option.bLogToFile); // absent: its default
  EXPECT_TRUE(option.bLogAsync);
  EXPECT_EQ(option.nAsyncQueueLimit, 2u * 1024 * 1024);

  dir.write("config/logger.json", "{\"Logger\": {\"LogMaxSize\": 209715200, \"LogLevel\": -3, \"LogName\": \" x \"}}");
  option = loadLogOption(dir.path());
  EXPECT_EQ(option.nLogMaxSize, 104857600u);
  EXPECT_EQ(option.nLogLevel, 0);
  EXPECT_EQ(option.strLogName, "x");
}

TEST(LogOptionFile, WithoutTheFileLogsEverythingToBaseLog) {
  TempDir dir;
  zt::log::LogOption option = loadLogOption(dir.path());
  EXPECT_EQ(option.strLogDir, dir.path() + "/log");
  EXPECT_EQ(option.strLogName, "ztsi-proxy");
  EXPECT_TRUE(option.bLogToFile);
  EXPECT_FALSE(option.bLogToStdout);
  EXPECT_EQ(option.nLogLevel, 7);
  EXPECT_EQ(option.nLogMaxSize, 104857600u);
  EXPECT_EQ(option.strHeader, "\t\tztsi-proxyv" + versionString() + "\n\n");
}

TEST(Identity, UuidsHaveTheVersionFourFormAndNeverRepeat) {
  const std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-e][0-9a-f]{2}-[89ab][0-9a-e][0-9a-f]{2}-[0-9a-f]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    std::string strUuid = makeUuidString();
    ASSERT_TRUE(std::regex_match(strUuid, form)) << strUuid;
    seen.insert(strUuid);
  }
  // Drawn in the same second, as two proxies started together would: all different.
  EXPECT_EQ(seen.size(), 2000u);
}

TEST(Identity, VersionTextNamesTheProgramAndItsBuildTime) {
  EXPECT_TRUE(std::regex_match(versionString(),
                               std::regex(R"(ztsi-proxy V1\.0\.0 \(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\))")))
      << versionString();
}

TEST(CommandTable, NamesEveryCodeAndOnlyThose) {
  buildCommandTable();
  EXPECT_STREQ(commandName(0x8001), "代理客户端与服务端的心跳");
  EXPECT_STREQ(commandName(0x8012), "注册设备");
  EXPECT_STREQ(commandName(0x8019), "查找设备");
  EXPECT_STREQ(commandName(0x8020), "查找设备的回调");
  EXPECT_STREQ(commandName(0x8028), "查询状态的回调");
  for (int nCode : {0x8000, 0x8002, 0x8010, 0x801A, 0x801F, 0x8029, 0})
    EXPECT_STREQ(commandName(nCode), "未知的操作命令") << nCode;
  int nNamed = 0;
  for (int nCode = 0x8000; nCode <= 0x8030; ++nCode)
    nNamed += std::string(commandName(nCode)) != "未知的操作命令" ? 1 : 0;
  EXPECT_EQ(nNamed, 19);
}

TEST(CommandLineParsing, SwitchesIgnoreCaseAndTakeABaseDirectory) {
  EXPECT_EQ(parseCommandLine({}).eSwitch, ServiceSwitch::Run);
  EXPECT_EQ(parseCommandLine({"/RUNASAPP"}).eSwitch, ServiceSwitch::RunAsApp);
  EXPECT_EQ(parseCommandLine({"-RunAsApp"}).eSwitch, ServiceSwitch::RunAsApp);
  EXPECT_EQ(parseCommandLine({"/install"}).eSwitch, ServiceSwitch::Install);
  EXPECT_EQ(parseCommandLine({"-InstallOnly"}).eSwitch, ServiceSwitch::InstallOnly);
  EXPECT_EQ(parseCommandLine({"-UnInstall"}).eSwitch, ServiceSwitch::UnInstall);
  EXPECT_EQ(parseCommandLine({"-Stop"}).eSwitch, ServiceSwitch::Stop);
  EXPECT_EQ(parseCommandLine({"--help"}).eSwitch, ServiceSwitch::Help);

  CommandLine alone = parseCommandLine({"--base-dir", "/srv/a"});
  EXPECT_EQ(alone.eSwitch, ServiceSwitch::Run);
  EXPECT_EQ(alone.strBaseDir, "/srv/a");
  CommandLine after = parseCommandLine({"-runasapp", "--base-dir", "/srv/b"});
  EXPECT_EQ(after.eSwitch, ServiceSwitch::RunAsApp);
  EXPECT_EQ(after.strBaseDir, "/srv/b");

  EXPECT_FALSE(parseCommandLine({"-runasap"}).strError.empty());
  EXPECT_FALSE(parseCommandLine({"--base-dir"}).strError.empty());
  EXPECT_FALSE(parseCommandLine({"-Stop", "--base-dir", "/x", "more"}).strError.empty());
  EXPECT_FALSE(parseCommandLine({"--base-dir", "/x", "-Stop"}).strError.empty());
}

} // namespace
} // namespace zt::proxy::test
