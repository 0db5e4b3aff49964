// ztdm-demo run as a program against the real broker, driven through its standard input; an
// application on ztsi checks what reaches the broker.
#include "broker_suite.h"
#include "console_process.h"
#include "observing_application.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <json/json.h>
#include <set>
#include <sstream>

namespace zt::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kTestIntervalMs = 100;

Json::Value parse(const std::string &strText) {
  Json::Value value;
  std::istringstream stream(strText);
  EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), stream, &value, nullptr)) << strText;
  return value;
}

std::string readFile(const fs::path &path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class DemoProgramTest : public zt::test::BrokerSuite {
protected:
  void SetUp() override {
    const auto *pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    m_strRootId = std::string("ctl_") + pInfo->name();
    m_strRootId = m_strRootId.substr(0, 32);
    char szDir[] = "/tmp/ztdm_demo_test_XXXXXX";
    ASSERT_NE(mkdtemp(szDir), nullptr);
    m_dir = szDir;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  void writeConfig(const std::string &strPortLine, int nIntervalMs = kTestIntervalMs) {
    std::ofstream file(m_dir / "ztdm_config.txt");
    file << "127.0.0.1\n" << strPortLine << "\n" << m_strRootId << "\n" << nIntervalMs << "\n";
  }

  std::unique_ptr<ConsoleProcess> startDemo(const std::vector<std::string> &vecArgs = {}) {
    return std::make_unique<ConsoleProcess>(ZTDM_DEMO_PATH, vecArgs, m_dir.string());
  }

  // The application first, then the demo with a configuration for the test broker; ready when
  // the root controller has been announced.
  std::unique_ptr<ConsoleProcess> startConnectedDemo(ObservingApplication &app) {
    writeConfig(std::to_string(broker().port()));
    auto pDemo = startDemo();
    EXPECT_TRUE(app.waitUntil([&] { return !app.found(m_strRootId).empty(); }, 10s));
    EXPECT_TRUE(pDemo->waitOutput("ZTDM>>"));
    return pDemo;
  }

  // Sends quit and expects a clean end.
  static void quit(ConsoleProcess &demo) {
    demo.sendLine("quit");
    EXPECT_EQ(demo.waitExit(10s), 0) << demo.output();
  }

  std::string m_strRootId;
  fs::path m_dir;
};

TEST_F(DemoProgramTest, StartsRegistersRootControllerAndTestCase) {
  ObservingApplication app(broker().port());
  auto pDemo = startConnectedDemo(app);
  std::string strOut = pDemo->output();
  EXPECT_NE(strOut.find("ZTDM test start\nModle Type: ZTM2042\nModle Name: ZTDM\nModle Version: 3.1.3\n"),
            std::string::npos);
  EXPECT_NE(strOut.find("Auto Test: false\n"), std::string::npos);
  EXPECT_NE(strOut.find("Broker address: 127.0.0.1:" + std::to_string(broker().port()) + "\n"),
            std::string::npos);

  DeviceInfo root = app.found(m_strRootId).front();
  EXPECT_EQ(root.type, 0);
  EXPECT_EQ(root.vdt, 0);
  EXPECT_STREQ(root.name, m_strRootId.c_str());
  EXPECT_STREQ(root.pid, "0");

  ASSERT_TRUE(app.waitUntil([&] {
    int nLen = 0;
    return std::string(ztsi_GetTestCase(app.handle(), &nLen)).find("\"vdt\":\"1\"") != std::string::npos;
  }));
  pDemo->sendLine("regTest");
  pDemo->sendLine("7");
  ASSERT_TRUE(app.waitUntil([&] {
    int nLen = 0;
    return std::string(ztsi_GetTestCase(app.handle(), &nLen)).find("\"vdt\":\"7\"") != std::string::npos;
  }));
  int nLen = 0;
  Json::Value testCases = parse(ztsi_GetTestCase(app.handle(), &nLen));
  for (const Json::Value &testCase : testCases) {
    if (testCase["vdt"] == "1") {
      EXPECT_EQ(testCase["testCase"], parse("[{},{}]"));
    } else if (testCase["vdt"] == "7") {
      EXPECT_EQ(testCase["testCase"]["desc"], "道闸控制");
      EXPECT_EQ(testCase["testCase"]["VDT"], "VDT_GATE");
      EXPECT_EQ(testCase["testCase"]["method"], "direct");
    }
  }
  pDemo->sendLine("help");
  EXPECT_TRUE(pDemo->waitOutput("test_auto: auto test ztdm upload status with VDT\n"));
  quit(*pDemo);
}

TEST_F(DemoProgramTest, RegReplacesListedDeviceAndReportsReachApplication) {
  ObservingApplication app(broker().port());
  auto pDemo = startConnectedDemo(app);
  pDemo->sendLine("reg D1 5 Gate");
  ASSERT_TRUE(app.waitUntil([&] { return !app.found("D1").empty(); }));
  DeviceInfo first = app.found("D1")[0];
  EXPECT_EQ(first.type, 5);
  EXPECT_EQ(first.vdt, 5);
  EXPECT_STREQ(first.name, "Gate");
  EXPECT_STREQ(first.pid, m_strRootId.c_str());

  pDemo->sendLine("reg D1 5 Gate2");
  ASSERT_TRUE(app.waitUntil([&] { return std::string(app.found("D1").back().name) == "Gate2"; }));

  // One listed device: the second reg replaced the first.
  pDemo->sendLine("upStatus D1");
  EXPECT_TRUE(pDemo->waitOutput("D1 1\n===== report status D1\n"));
  pDemo->sendLine("updata D1");
  pDemo->sendLine("event D1");
  ASSERT_TRUE(app.waitUntil([&] {
    return app.reports("status").size() == 1 && app.reports("data").size() == 1 &&
           app.reports("event").size() == 1;
  }));
  Json::Value status = parse(app.reports("status")[0].strData);
  EXPECT_EQ(status["subDevStatus"]["devId"], "D1");
  EXPECT_EQ(status["subDevStatus"]["onOffline"].asUInt(), 1u);
  EXPECT_EQ(status["rtspOnline"].asUInt(), 1u);
  Json::Value data = parse(app.reports("data")[0].strData);
  EXPECT_EQ(data["plate"], "粤B12345");
  EXPECT_EQ(data["plateColor"].asUInt(), 3u);
  Json::Value event = parse(app.reports("event")[0].strData);
  EXPECT_EQ(event["deviceId"], "D1");
  EXPECT_EQ(event["deviceName"], "Gate2");
  EXPECT_EQ(event["eventType"].asUInt(), 2095u);
  EXPECT_GT(app.reports("event")[0].nSn, 0);
  quit(*pDemo);
}

TEST_F(DemoProgramTest, BadArgumentsPrintTheirMessageAndReturnToThePrompt) {
  ObservingApplication app(broker().port());
  auto pDemo = startConnectedDemo(app);
  const std::string strLongId(33, 'i');
  const std::string strLongName(64, 'n');
  const std::vector<std::pair<std::string, std::string>> vecCases = {
      {"reg D1 5", "Format: reg [device id] [driver type] [device name] \n"},
      {"reg " + strLongId + " 5 Gate", "device Id is too long!\n"},
      {"reg D1 x5 Gate", "device type is incorect!\n"},
      {"reg D1  Gate", "device type is incorect!\n"},
      {"reg D1 5 " + strLongName, "device name is too long!\n"},
      {"upStatus", "Format: upStatus [device id] \n"},
      {"updata", "Format: updata [device id] \n"},
      {"event", "Format: event [device id] \n"},
      {"upStatus " + m_strRootId, "Can not find device " + m_strRootId + "!!\n"},
      {"updata D9", "Can not find device D9!!\n"},
      {"event D9", "Can not find device D9!!\n"},
  };
  size_t nPrompts = pDemo->count("ZTDM>>");
  for (const auto &testCase : vecCases) {
    pDemo->sendLine(testCase.first);
    EXPECT_TRUE(pDemo->waitOutput(testCase.second)) << testCase.first;
    EXPECT_TRUE(pDemo->waitOutput("ZTDM>>", ++nPrompts)) << testCase.first;
  }
  // A type above 999 and an unknown command create and send nothing.
  pDemo->sendLine("reg D2 1000 Big");
  pDemo->sendLine("frobnicate");
  pDemo->sendLine("upStatus D2");
  EXPECT_TRUE(pDemo->waitOutput("D2 0\nCan not find device D2!!\n"));
  // 32 characters and a 63-character name are accepted.
  const std::string strMaxId(32, 'm');
  pDemo->sendLine("reg " + strMaxId + " 3 " + std::string(63, 'n'));
  EXPECT_TRUE(app.waitUntil([&] { return !app.found(strMaxId).empty(); }));
  EXPECT_TRUE(app.found("D1").empty());
  EXPECT_TRUE(app.found("D2").empty());
  EXPECT_TRUE(app.reports("status").empty());
  quit(*pDemo);
}

TEST_F(DemoProgramTest, TestCommandReportsEveryKindOfFifteenDevices) {
  ObservingApplication app(broker().port());
  // A first run makes the application subscribe the reports of Dev_00_00000's children.
  {
    auto pPriming = startConnectedDemo(app);
    pPriming->sendLine("test");
    ASSERT_TRUE(app.waitUntil([&] { return !app.found("Dev_14_00000").empty(); }));
    quit(*pPriming);
  }
  app.clearReports();

  auto pDemo = startConnectedDemo(app);
  pDemo->sendLine("test");
  ASSERT_TRUE(app.waitUntil([&] {
    return app.reports("status").size() >= 15 && app.reports("data").size() >= 3 &&
           app.reports("event").size() >= 15;
  }));
  std::this_thread::sleep_for(200ms);
  std::set<std::string> setStatus;
  for (const Delivery &delivery : app.reports("status")) {
    setStatus.insert(delivery.strDevId);
  }
  EXPECT_EQ(app.reports("status").size(), 15u);
  EXPECT_EQ(app.reports("event").size(), 15u);
  ASSERT_EQ(app.reports("data").size(), 3u);
  for (int v = 0; v <= 14; ++v) {
    char szId[16];
    std::snprintf(szId, sizeof(szId), "Dev_%02d_00000", v);
    EXPECT_EQ(setStatus.count(szId), 1u) << szId;
    ASSERT_FALSE(app.found(szId).empty()) << szId;
    DeviceInfo device = app.found(szId).back();
    EXPECT_EQ(device.vdt, v);
    EXPECT_STREQ(device.pid, v == 0 ? "0" : "Dev_00_00000");
  }
  std::set<std::string> setData;
  for (const Delivery &delivery : app.reports("data")) {
    setData.insert(delivery.strDevId);
  }
  EXPECT_EQ(setData, (std::set<std::string>{"Dev_05_00000", "Dev_09_00000", "Dev_14_00000"}));
  for (const Delivery &delivery : app.reports("status")) {
    if (delivery.strDevId == "Dev_01_00000") {
      Json::Value gate = parse(delivery.strData);
      EXPECT_EQ(gate["keepOpenState"].asUInt(), 3u);
      EXPECT_FALSE(gate["errorState"]["motorDriverError"].asBool());
    }
  }
  quit(*pDemo);
}

TEST_F(DemoProgramTest, ControllerConfigRoundTripThroughItsFile) {
  ObservingApplication app(broker().port());
  auto pDemo = startConnectedDemo(app);
  std::optional<Answer> missing = app.getParam(m_strRootId);
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->nCode, -1);
  EXPECT_TRUE(pDemo->waitOutput("Error: can not open file\n"));

  const std::string strConfig = R"({"gateMode":2,"name":"north gate"})";
  std::optional<Answer> set = app.setParam(m_strRootId, strConfig);
  ASSERT_TRUE(set);
  EXPECT_EQ(set->nCode, 0);
  EXPECT_EQ(readFile(m_dir / "controller.txt"), strConfig);
  std::optional<Answer> get = app.getParam(m_strRootId);
  ASSERT_TRUE(get);
  EXPECT_EQ(get->nCode, 0);
  EXPECT_EQ(parse(get->strDesc), parse(strConfig));
  EXPECT_TRUE(pDemo->waitOutput("DevId=[" + m_strRootId + "] SN=["));

  std::optional<Answer> ctrl = app.ctrl(m_strRootId, R"({"ctrlType":2,"exData":""})");
  ASSERT_TRUE(ctrl);
  EXPECT_EQ(ctrl->nCode, 0);
  EXPECT_EQ(ctrl->strDesc, "");
  EXPECT_TRUE(pDemo->waitOutput(">>>>>>>>>>>> " + m_strRootId + ": Reset Controller!!\n"));

  // The controller's status entry answers its status but returns -1, so only the code travels.
  std::optional<Answer> status = app.qryStatus(m_strRootId);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->nCode, -1);
  EXPECT_TRUE(pDemo->waitOutput("User: 执行控制机设备getStatus操作各产品自定义.\n"));

  // A configuration that is not JSON is stored but not answered as if it were.
  ASSERT_TRUE(app.setParam(m_strRootId, "not json"));
  std::optional<Answer> broken = app.getParam(m_strRootId);
  ASSERT_TRUE(broken);
  EXPECT_EQ(broken->nCode, -1);
  quit(*pDemo);
}

TEST_F(DemoProgramTest, FaceRecognizerAndCardReaderEntries) {
  ObservingApplication app(broker().port());
  auto pDemo = startConnectedDemo(app);
  pDemo->sendLine("reg F1 16 Face");
  pDemo->sendLine("reg C1 14 Card");
  ASSERT_TRUE(app.waitUntil([&] { return !app.found("F1").empty() && !app.found("C1").empty(); }));

  const std::string strConfig =
      R"({"method":2,"recThreshold":0.8,"mdRect":{"left":1,"top":2,"right":3,"bottom":4}})";
  std::optional<Answer> set = app.setParam("F1", strConfig);
  ASSERT_TRUE(set);
  EXPECT_EQ(set->nCode, 0);
  EXPECT_EQ(parse(readFile(m_dir / "FaceRecognizerConfig.txt")), parse(strConfig));
  std::optional<Answer> get = app.getParam("F1");
  ASSERT_TRUE(get);
  EXPECT_EQ(parse(get->strDesc), parse(strConfig));

  std::optional<Answer> echo = app.ctrl("F1", R"({"data":"open the door","returnData":"yes"})");
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->nCode, 0);
  EXPECT_EQ(parse(echo->strDesc)["returnData"], "yes");
  EXPECT_TRUE(pDemo->waitOutput("open the door"));

  std::optional<Answer> faceStatus = app.qryStatus("F1");
  ASSERT_TRUE(faceStatus);
  EXPECT_EQ(parse(faceStatus->strDesc)["subDevStatus"]["devId"], "F1");

  // The card reader only answers its status; its other entries are left empty.
  std::optional<Answer> cardStatus = app.qryStatus("C1");
  ASSERT_TRUE(cardStatus);
  EXPECT_EQ(cardStatus->nCode, 0);
  EXPECT_EQ(parse(cardStatus->strDesc)["subDevStatus"]["devId"], "C1");
  std::optional<Answer> cardConfig = app.getParam("C1");
  ASSERT_TRUE(cardConfig);
  EXPECT_EQ(cardConfig->nCode, -2);
  quit(*pDemo);
}

TEST_F(DemoProgramTest, TestAutoSplitsTenDevicesOverThreeThreads) {
  ObservingApplication app(broker().port());
  auto pDemo = startConnectedDemo(app);
  for (const char *pstrLine : {"test_auto", "3", "10", "3", "1"}) {
    pDemo->sendLine(pstrLine);
  }
  ASSERT_TRUE(pDemo->waitOutput("stop a thread for 1 report.......\n", 3));
  ASSERT_TRUE(app.waitUntil([&] { return app.reports("status").size() >= 10; }));
  std::this_thread::sleep_for(200ms);
  std::multiset<std::string> setReported;
  for (const Delivery &delivery : app.reports("status")) {
    setReported.insert(delivery.strDevId);
  }
  EXPECT_EQ(setReported.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    char szId[16];
    std::snprintf(szId, sizeof(szId), "Dev_03_%05d", i);
    EXPECT_EQ(setReported.count(szId), 1u) << szId;
    EXPECT_STREQ(app.found(szId).at(0).pid, m_strRootId.c_str());
  }
  std::string strOut = pDemo->output();
  EXPECT_NE(strOut.find("thrdMsgCount: 1\n"), std::string::npos);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NE(strOut.find("thread [" + std::to_string(k) + "] have started\n"), std::string::npos);
    EXPECT_NE(strOut.find("dev: 4, sleep: 100, Msg: 1, index: " + std::to_string(k) + "\n"),
              std::string::npos);
  }
  // Thread 2 reports the remaining two devices.
  EXPECT_EQ(pDemo->count("===== report status Dev_03_0000"), 10u);
  quit(*pDemo);
}

TEST_F(DemoProgramTest, NewRunsReplaceTheListWhileEarlierThreadsStillReport) {
  ObservingApplication app(broker().port());
  auto pDemo = startConnectedDemo(app);
  // Out of range: nothing starts.
  pDemo->sendLine("autoup");
  pDemo->sendLine("0 3 1 10 1");
  pDemo->sendLine("autoup");
  pDemo->sendLine("2 3 1 10");
  EXPECT_TRUE(pDemo->waitOutput("please input: devCnt vdt thdCnt sleep upCnt>>", 2));
  EXPECT_TRUE(pDemo->waitOutput("ZTDM>>", 3));
  EXPECT_EQ(pDemo->count("thrdMsgCount"), 0u);

  // autoup does not wait for the earlier run; test_auto waits for it, ending an endless one.
  pDemo->sendLine("autoup");
  pDemo->sendLine("6 4 2 5 20");
  pDemo->sendLine("autoup");
  pDemo->sendLine("4 6 2 5 10");
  for (const char *pstrLine : {"test_auto", "7", "3", "1", "-1"}) {
    pDemo->sendLine(pstrLine);
  }
  ASSERT_TRUE(pDemo->waitOutput("stop a thread for 20 report.......\n", 2));
  ASSERT_TRUE(pDemo->waitOutput("stop a thread for 10 report.......\n", 2));
  ASSERT_TRUE(app.waitUntil([&] { return !app.found("Dev_07_00002").empty(); }));
  ASSERT_TRUE(pDemo->waitOutput("===== report status Dev_07_00002\n", 2));
  for (const char *pstrLine : {"test_auto", "8", "1", "1", "1"}) {
    pDemo->sendLine(pstrLine);
  }
  ASSERT_TRUE(pDemo->waitOutput("stop a thread for 1 report.......\n"));
  EXPECT_TRUE(pDemo->waitOutput("===== report status Dev_08_00000\n"));
  EXPECT_EQ(pDemo->count("dev: 3, sleep: 5, Msg: 20"), 2u);
  EXPECT_EQ(pDemo->count("dev: 2, sleep: 5, Msg: 10"), 2u);
  EXPECT_EQ(pDemo->count("dev: 3, sleep: 100, Msg: -1"), 1u);
  quit(*pDemo);
}

TEST_F(DemoProgramTest, QuitEndsEndlessReportThreadsAtOnce) {
  ObservingApplication app(broker().port());
  writeConfig(std::to_string(broker().port()), 60000);
  auto pDemo = startDemo();
  ASSERT_TRUE(pDemo->waitOutput("ZTDM>>", 1, 10s));
  for (const char *pstrLine : {"test_auto", "2", "4", "2", "-1"}) {
    pDemo->sendLine(pstrLine);
  }
  ASSERT_TRUE(pDemo->waitOutput("thread [1] have started\n"));
  auto start = std::chrono::steady_clock::now();
  quit(*pDemo);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(pDemo->count("stop a thread\n"), 2u);
}

TEST_F(DemoProgramTest, ConfigurationFromFileOrConsole) {
  {
    // Port line 0 means 1883; the connection is made in the background.
    writeConfig("0");
    auto pDemo = startDemo();
    EXPECT_TRUE(pDemo->waitOutput("Broker address: 127.0.0.1:1883\n"));
    quit(*pDemo);
  }
  {
    std::ofstream(m_dir / "ztdm_config.txt") << "localhost\n1883\nroot\n";
    auto pDemo = startDemo();
    EXPECT_EQ(pDemo->waitExit(10s), 0);
    EXPECT_NE(pDemo->output().find("Create ztdm failt!\n"), std::string::npos);
  }
  fs::remove(m_dir / "ztdm_config.txt");
  ObservingApplication app(broker().port());
  auto pDemo = startDemo();
  EXPECT_TRUE(pDemo->waitOutput("please input Broker address : (127.0.0.1)\n"));
  pDemo->sendLine("127.0.0.1");
  EXPECT_TRUE(pDemo->waitOutput("please input Broker port: (1883)\n"));
  pDemo->sendLine(std::to_string(broker().port()));
  EXPECT_TRUE(pDemo->waitOutput("please input Root controler id: (controlId)\n"));
  pDemo->sendLine(m_strRootId);
  EXPECT_TRUE(app.waitUntil([&] { return !app.found(m_strRootId).empty(); }, 10s));
  quit(*pDemo);
}

TEST_F(DemoProgramTest, AutomaticModeServesRequestsWithoutCommandLoop) {
  ObservingApplication app(broker().port());
  writeConfig(std::to_string(broker().port()));
  auto pDemo = startDemo({"t"});
  ASSERT_TRUE(app.waitUntil([&] { return !app.found(m_strRootId).empty(); }, 10s));
  EXPECT_NE(pDemo->output().find("Auto Test: true\n"), std::string::npos);
  std::optional<Answer> set = app.setParam(m_strRootId, R"({"auto":true})");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->nCode, 0);
  // Commands are not read.
  pDemo->sendLine("quit");
  EXPECT_EQ(pDemo->waitExit(300ms), -1);
  EXPECT_EQ(pDemo->count("ZTDM>>"), 0u);
}

} // namespace
} // namespace zt::test
