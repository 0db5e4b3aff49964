// ztsi-console run as a program against the real broker, driven through its standard input; a
// driver on ztdm serves the device it talks to and checks what reaches it.
#include "broker_suite.h"
#include "console_process.h"
#include "test_driver.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <json/json.h>
#include <sstream>

namespace zt::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char *const kPrompt = "ZTSI [device_id cmd]>>";

class ConsoleProgramTest : public zt::test::BrokerSuite {
protected:
  void SetUp() override {
    char szDir[] = "/tmp/ztsi_console_test_XXXXXX";
    ASSERT_NE(mkdtemp(szDir), nullptr);
    m_dir = szDir;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  void writeConfig(const std::string &strHost, const std::string &strPort) {
    std::ofstream(m_dir / "ztsiconfig.txt") << strHost << "\n" << strPort << "\n";
  }

  std::unique_ptr<ConsoleProcess> startConsole(const std::vector<std::string> &vecArgs = {}) {
    return std::make_unique<ConsoleProcess>(ZTSI_CONSOLE_PATH, vecArgs, m_dir.string());
  }

  // A console configured for the test broker that has found the driver's device.
  std::unique_ptr<ConsoleProcess> startConnectedConsole() {
    writeConfig("127.0.0.1", std::to_string(broker().port()));
    auto pConsole = startConsole();
    EXPECT_TRUE(pConsole->waitOutput("deviceId:D1, type:16, vdt=[16] deviceName:Door, pid0\n", 1, 10s));
    EXPECT_TRUE(pConsole->waitOutput(kPrompt));
    return pConsole;
  }

  static void quit(ConsoleProcess &console) {
    console.sendLine("D1 quit");
    EXPECT_TRUE(console.waitOutput("ZTSI test stop\n"));
    EXPECT_EQ(console.waitExit(10s), 0) << console.output();
  }

  fs::path m_dir;
};

TEST_F(ConsoleProgramTest, FindsDevicesAndPrintsReportsAndTestCases) {
  TestDriver driver(broker().port());
  auto pConsole = startConnectedConsole();
  std::string strOut = pConsole->output();
  EXPECT_EQ(strOut.find("ZTSI test start\n"), 0u);
  EXPECT_NE(strOut.find("Name: ZTSI \nVersion: 3.1.3\n Type: ZTM2042\nComile: "), std::string::npos);
  EXPECT_NE(strOut.find("broker_ip:127.0.0.1:" + std::to_string(broker().port()) + ", init:Success\n"),
            std::string::npos);
  EXPECT_NE(strOut.find("OncallbackFindDevices, sessionId:"), std::string::npos);

  // Report bytes are printed with their length, though not terminated.
  const char szStatus[] = {'{', '"', 's', '"', ':', '1', '}', 'X'};
  ASSERT_EQ(ztdm_ReportStatus(driver.handle(), "D1", 77, szStatus, 7), 0);
  EXPECT_TRUE(
      pConsole->waitOutput("<<==== recv Status report, devId=[D1] sn=[77] len=[7] data=[{\"s\":1}]\n"));
  ASSERT_EQ(ztdm_ReportData(driver.handle(), "D1", 78, "{\"d\":2}", 7), 0);
  EXPECT_TRUE(pConsole->waitOutput("<<==== recv Data report, devId=[D1] sn=[78] len=[7] data=[{\"d\":2}]\n"));
  ASSERT_EQ(ztdm_ReportEvent(driver.handle(), "D1", 79, "{\"e\":3}", 7), 0);
  EXPECT_TRUE(
      pConsole->waitOutput("<<==== recv Event report, devId=[D1] sn=[79] len=[7] data=[{\"e\":3}]\n"));

  pConsole->sendLine("D1 getTest");
  const std::string strTestCases = R"([{"testCase":{"k":1},"vdt":"3"}])";
  EXPECT_TRUE(pConsole->waitOutput("getTestCase  " + std::to_string(strTestCases.size()) + " data: \n" +
                                   strTestCases))
      << pConsole->output();
  size_t nFound = pConsole->count("OncallbackFindDevices");
  pConsole->sendLine("any find");
  EXPECT_TRUE(pConsole->waitOutput("ztsi_FindDevices ret=0\n"));
  EXPECT_TRUE(pConsole->waitOutput("OncallbackFindDevices", nFound + 1));
  quit(*pConsole);
}

TEST_F(ConsoleProgramTest, MalformedLinesPrintInputErrorsAndSendNothing) {
  TestDriver driver(broker().port());
  auto pConsole = startConnectedConsole();
  const std::string strFormat = "input error, format:device_id cmd\n";
  const std::vector<std::pair<std::string, std::string>> vecCases = {
      {"ctrl", strFormat},
      {"a ", strFormat},
      {"D1 ", strFormat},
      {std::string(33, 'd') + " ctrl", "input error, device_id too long, over 32 bytes\n"},
      {"D1 help", "\n"},
      {"D1 dance", ""},
  };
  size_t nPrompts = pConsole->count(kPrompt);
  for (const auto &testCase : vecCases) {
    pConsole->sendLine(testCase.first);
    EXPECT_TRUE(pConsole->waitOutput(testCase.second + kPrompt, 1)) << testCase.first;
    EXPECT_TRUE(pConsole->waitOutput(kPrompt, ++nPrompts)) << testCase.first;
  }
  // A device that was never announced cannot be addressed.
  pConsole->sendLine("ZZ ctrl");
  EXPECT_TRUE(pConsole->waitOutput("ztsi_Ctrl ret=1\n"));
  // 32 characters are a valid device id.
  pConsole->sendLine(std::string(32, 'd') + " ctrl");
  EXPECT_TRUE(pConsole->waitOutput("ztsi_Ctrl ret=1\n", 2));
  EXPECT_EQ(pConsole->count("input error"), 4u);
  EXPECT_TRUE(TestDriver::ctrlCalls().empty());
  quit(*pConsole);
}

TEST_F(ConsoleProgramTest, DebugThenCtrlReachesTheDriverWithItsBody) {
  TestDriver driver(broker().port());
  auto pConsole = startConnectedConsole();
  // The console runs in the Debug run model; the device side follows after "debug".
  pConsole->sendLine("D1 debug");
  EXPECT_TRUE(
      pConsole->waitOutput("data: {\"cmd\":10,\"code\":0,\"desc\":\"{\\\"runmodel\\\":1}\"}, len: 45\n"));
  EXPECT_NE(pConsole->output().find("SetRunModel"), std::string::npos);

  pConsole->sendLine("D1 ctrl");
  EXPECT_TRUE(pConsole->waitOutput("ztsi_Ctrl ret=0\n"));
  const std::string strAnswer = R"({"cmd":4,"code":0,"desc":"done"})";
  EXPECT_TRUE(pConsole->waitOutput("do ctrl callback\nOnCtrlGate deviceId:D1 sid:100 data:" + strAnswer +
                                   ", len:" + std::to_string(strAnswer.size()) + "\n"))
      << pConsole->output();
  std::vector<CtrlCall> vecCalls = TestDriver::ctrlCalls();
  ASSERT_EQ(vecCalls.size(), 1u);
  EXPECT_EQ(vecCalls[0].strDevId, "D1");
  EXPECT_EQ(vecCalls[0].nSn, 100);
  // Sent with its terminating zero byte.
  ASSERT_FALSE(vecCalls[0].strData.empty());
  EXPECT_EQ(vecCalls[0].strData.back(), '\0');
  Json::Value request;
  std::istringstream stream(vecCalls[0].strData.substr(0, vecCalls[0].strData.size() - 1));
  ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), stream, &request, nullptr));
  EXPECT_EQ(request["head"]["cmd"].asInt(), 2225);
  EXPECT_EQ(request["head"]["devId"], "D1");
  EXPECT_EQ(request["head"]["ttl"].asInt(), -1);
  EXPECT_EQ(request["head"]["version"].asInt(), 100);
  EXPECT_GT(request["head"]["timestamp"].asInt64(), 0);
  EXPECT_EQ(request["body"]["ctrlType"].asUInt(), 1u);
  EXPECT_EQ(request["body"]["credentialNo"].asString().rfind("0101,", 0), 0u);
  EXPECT_EQ(request["body"]["exData"]["exData"], "");

  pConsole->sendLine("D1 qrymodel");
  EXPECT_TRUE(pConsole->waitOutput(
      "ZTDM run model sn:[2] data: {\"cmd\":11,\"code\":0,\"desc\":\"{\\\"runmodel\\\":1}\"}, len: 45\n"));
  pConsole->sendLine("D1 exitdebug");
  EXPECT_TRUE(pConsole->waitOutput(
      "ZTDM run model sn:[2] data: {\"cmd\":10,\"code\":0,\"desc\":\"{\\\"runmodel\\\":0}\"}, len: 45\n"));
  quit(*pConsole);
}

TEST_F(ConsoleProgramTest, BrokerAddressFromFileOrConsole) {
  {
    writeConfig("127.0.0.1", "0");
    auto pConsole = startConsole();
    EXPECT_TRUE(pConsole->waitOutput("broker_ip:127.0.0.1:1883, init:Success\n"));
    quit(*pConsole);
  }
  {
    writeConfig("localhost", "1883");
    auto pConsole = startConsole();
    EXPECT_EQ(pConsole->waitExit(10s), 1);
    // The last text, exactly as it stands, without a line end.
    const std::string strOut = pConsole->output();
    const std::string strFailure = "broker_ip:localhost:1883, init:Failt\nCan not create ztsi!";
    ASSERT_GE(strOut.size(), strFailure.size());
    EXPECT_EQ(strOut.substr(strOut.size() - strFailure.size()), strFailure);
  }
  fs::remove(m_dir / "ztsiconfig.txt");
  TestDriver driver(broker().port());
  auto pConsole = startConsole();
  EXPECT_TRUE(pConsole->waitOutput("please input Broker ip: (127.0.0.1)\n"));
  pConsole->sendLine("127.0.0.1");
  EXPECT_TRUE(pConsole->waitOutput("please input Broker port: (1883)\n"));
  pConsole->sendLine(std::to_string(broker().port()));
  EXPECT_TRUE(pConsole->waitOutput("deviceId:D1, type:16, vdt=[16] deviceName:Door, pid0\n", 1, 10s));
  quit(*pConsole);
}

TEST_F(ConsoleProgramTest, AutomaticModePrintsWithoutReadingCommands) {
  TestDriver driver(broker().port());
  writeConfig("127.0.0.1", std::to_string(broker().port()));
  auto pConsole = startConsole({"t"});
  ASSERT_TRUE(pConsole->waitOutput("deviceId:D1, type:16, vdt=[16] deviceName:Door, pid0\n", 1, 10s));
  ASSERT_EQ(ztdm_ReportEvent(driver.handle(), "D1", 5, "{}", 2), 0);
  EXPECT_TRUE(pConsole->waitOutput("<<==== recv Event report, devId=[D1] sn=[5] len=[2] data=[{}]\n"));
  pConsole->sendLine("D1 quit");
  EXPECT_EQ(pConsole->waitExit(300ms), -1);
  EXPECT_EQ(pConsole->count(kPrompt), 0u);
}

} // namespace
} // namespace zt::test
