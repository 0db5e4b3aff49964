// The demo driver's parts without a broker: configuration lines, console answers, test devices,
// thread slices, sample bodies and the driver entry points with their buffers and files.
#include "console_text.h"
#include "demo_config.h"
#include "demo_devices.h"
#include "driver_tables.h"
#include "face_recognizer_settings.h"
#include "report_threads.h"
#include "sample_bodies.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <unistd.h>

namespace zt::demo {
namespace {

namespace fs = std::filesystem;

Json::Value parse(const std::string &strText) {
  Json::Value value;
  std::istringstream stream(strText);
  EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), stream, &value, nullptr)) << strText;
  return value;
}

DemoConfig configOf(const std::string &strText) {
  std::FILE *pFile = fmemopen(const_cast<char *>(strText.data()), strText.size(), "r");
  DemoConfig config = readDemoConfig(pFile);
  std::fclose(pFile);
  return config;
}

TEST(DemoConfigTest, ReadsLinesWithDefaults) {
  DemoConfig config = configOf("10.1.2.3\r\n0\nctl1\n250\nx\ny\n");
  EXPECT_EQ(config.strHost, "10.1.2.3");
  EXPECT_EQ(config.nPort, 1883);
  EXPECT_EQ(config.strRootId, "ctl1");
  EXPECT_EQ(config.nReportIntervalMs, 250);
  EXPECT_EQ(brokerAddress(config), "10.1.2.3:1883");

  config = configOf("127.0.0.1\n2883\nroot\n0\n");
  EXPECT_EQ(config.nPort, 2883);
  EXPECT_EQ(config.nReportIntervalMs, 5000);
  EXPECT_EQ(configOf("h\nabc\n").nPort, 1883);
  // A line longer than 255 characters is cut; its rest becomes the next line.
  EXPECT_EQ(configOf(std::string(300, 'h') + "\n").strHost, std::string(255, 'h'));

  std::istringstream answers("192.168.0.9\n\nrootX\n");
  config = askDemoConfig(answers);
  EXPECT_EQ(brokerAddress(config), "192.168.0.9:1883");
  EXPECT_EQ(config.strRootId, "rootX");
}

TEST(ConsoleTextTest, WordsAndNumbers) {
  EXPECT_EQ(splitWords("reg D1 5 Gate"), (std::vector<std::string>{"reg", "D1", "5", "Gate"}));
  EXPECT_EQ(splitWords("reg  D1"), (std::vector<std::string>{"reg", "", "D1"}));
  EXPECT_EQ(splitWords(""), (std::vector<std::string>{""}));
  EXPECT_EQ(answerNumber("12"), 12);
  EXPECT_EQ(answerNumber("7abc"), 7);
  EXPECT_EQ(answerNumber("-1"), -1);
  EXPECT_EQ(answerNumber("-5"), -1);
  EXPECT_EQ(answerNumber(""), -1);
  EXPECT_EQ(answerNumber("99999999999"), 2147483647);
}

TEST(DemoDevicesTest, TestDevicesOfAllKindsHangBelowTheirKindZeroDevice) {
  DeviceList vecDevices = buildTestDevices(kAllVdt, 2, "root");
  ASSERT_EQ(vecDevices.size(), 30u);
  EXPECT_EQ(deviceId(*vecDevices[0]), "Dev_00_00000");
  EXPECT_EQ(devicePid(*vecDevices[0]), "0");
  EXPECT_EQ(deviceId(*vecDevices[14]), "Dev_14_00000");
  EXPECT_EQ(devicePid(*vecDevices[14]), "Dev_00_00000");
  EXPECT_EQ(deviceId(*vecDevices[18]), "Dev_03_00001");
  EXPECT_EQ(devicePid(*vecDevices[18]), "Dev_00_00001");
  EXPECT_EQ(vecDevices[18]->vdt, 3);
  EXPECT_EQ(vecDevices[18]->type, 3);
  EXPECT_EQ(deviceName(*vecDevices[18]), "Dev_03_00001");

  vecDevices = buildTestDevices(7, 3, "root");
  ASSERT_EQ(vecDevices.size(), 3u);
  EXPECT_EQ(deviceId(*vecDevices[2]), "Dev_07_00002");
  EXPECT_EQ(devicePid(*vecDevices[2]), "root");

  DeviceInfo root = makeRootController("controlId");
  EXPECT_EQ(deviceName(root), "controlId");
  EXPECT_STREQ(root.pid, "0");
  EXPECT_EQ(root.desc[0], '\0');
  EXPECT_EQ(root.model[0], '\0');
}

TEST(DemoDevicesTest, TextsThatFillTheirFieldAreCutNotOverrun) {
  auto pDevice = makeDevice(std::string(50, 'i'), 1, std::string(80, 'n'), std::string(40, 'p'));
  EXPECT_EQ(deviceId(*pDevice), std::string(35, 'i'));
  EXPECT_EQ(deviceName(*pDevice), std::string(63, 'n'));
  EXPECT_EQ(devicePid(*pDevice), std::string(35, 'p'));
  DeviceInfo full;
  std::memset(&full, 'x', sizeof(full));
  EXPECT_EQ(deviceId(full), std::string(36, 'x'));
}

TEST(ReportThreadsTest, SlicesRoundUpAndTheLastHoldsTheRest) {
  EXPECT_EQ(devicesPerThread(10, 3), 4);
  EXPECT_EQ(threadSlice(10, 4, 0), std::make_pair(size_t(0), size_t(4)));
  EXPECT_EQ(threadSlice(10, 4, 1), std::make_pair(size_t(4), size_t(8)));
  EXPECT_EQ(threadSlice(10, 4, 2), std::make_pair(size_t(8), size_t(10)));
  // More threads than devices: the surplus threads report nothing.
  EXPECT_EQ(devicesPerThread(2, 5), 1);
  EXPECT_EQ(threadSlice(2, 1, 4), std::make_pair(size_t(2), size_t(2)));
}

TEST(SampleBodiesTest, StatusForKindsZeroToFifteenOnly) {
  for (int nVdt = 0; nVdt <= 15; ++nVdt) {
    auto pDevice = makeDevice("S1", nVdt, "S1", "p");
    EXPECT_TRUE(statusBody(*pDevice).has_value()) << nVdt;
  }
  EXPECT_FALSE(statusBody(*makeDevice("S1", 16, "S1", "p")).has_value());
  EXPECT_FALSE(statusBody(*makeDevice("S1", -1, "S1", "p")).has_value());

  Json::Value gate = *statusBody(*makeDevice("G1", 1, "G1", "p"));
  EXPECT_EQ(gate["deviceId"], "G1");
  EXPECT_EQ(gate["poleState"].asUInt(), 1u);
  EXPECT_EQ(gate["fireAlarmState"].asUInt(), 2u);
  EXPECT_EQ(gate["alarmState"].size(), 6u);
  EXPECT_EQ(gate["errorState"].size(), 12u);
  EXPECT_TRUE(gate["errorState"]["closeBlockError"].isBool());

  Json::Value printer = *statusBody(*makeDevice("P1", 10, "P1", "p"));
  EXPECT_EQ(printer["paperStatus"], "");
  EXPECT_EQ((*statusBody(*makeDevice("V1", 8, "V1", "p")))["SensorStatus"].asUInt(), 2u);
  EXPECT_EQ((*statusBody(*makeDevice("R1", 12, "R1", "p")))["subDevStatus"]["devId"], "R1");
}

TEST(SampleBodiesTest, DataForItsFiveKindsAndEventsForAll) {
  std::set<int> setWithData;
  for (int nVdt = 0; nVdt <= 20; ++nVdt) {
    if (dataBody(*makeDevice("D", nVdt, "D", "p"))) {
      setWithData.insert(nVdt);
    }
  }
  EXPECT_EQ(setWithData, (std::set<int>{5, 9, 14, 15, 16}));
  Json::Value card = *dataBody(*makeDevice("C", 14, "C", "p"));
  EXPECT_EQ(card["cardNum"], "SID2019001221012");
  Json::Value face = *dataBody(*makeDevice("F", 16, "F", "p"));
  EXPECT_TRUE(face["data"]["ID"].isInt64());
  EXPECT_TRUE(face["data"]["temperature"].isDouble());
  EXPECT_EQ(face["data"].size(), 18u);

  Json::Value event = eventBody(*makeDevice("E1", 3, "East gate", "p"));
  EXPECT_EQ(event["eventId"], "E1");
  EXPECT_EQ(event["deviceName"], "East gate");
  EXPECT_EQ(event["eventTime"]["millisecond"].asUInt(), 91929u);
  EXPECT_EQ(event["plateNo"], "粤A88888");
  EXPECT_EQ(event.size(), 17u);
  // The styled writer's text reads back as the same value.
  EXPECT_EQ(styledText(parse(styledText(event))), styledText(event));
}

TEST(FaceRecognizerSettingsTest, TakesOnlyPresentValuesOfTheRightType) {
  FaceRecognizerSettings settings;
  settings.irLevel = 9;
  readFaceRecognizerSettings(parse(R"({"method":3,"time":"late","recThreshold":1,"fMaskThresh":0.25,
                "mdRect":{"left":5,"top":-1,"bottom":7},"reserved":[1,"x",3]})"),
                             settings);
  EXPECT_EQ(settings.method, 3);
  EXPECT_EQ(settings.time, 0);
  EXPECT_EQ(settings.irLevel, 9);
  EXPECT_DOUBLE_EQ(settings.recThreshold, 1.0);
  EXPECT_DOUBLE_EQ(settings.fMaskThresh, 0.25);
  EXPECT_EQ(settings.mdRect.left, 5u);
  EXPECT_EQ(settings.mdRect.top, 0u);
  EXPECT_EQ(settings.mdRect.bottom, 7u);
  EXPECT_EQ(settings.reserved, (std::vector<int>{1, 3}));
}

// The entry points run in a directory of their own, as they keep their files in the working
// directory.
class DriverEntryTest : public ::testing::Test {
protected:
  void SetUp() override {
    char szDir[] = "/tmp/ztdm_demo_entries_XXXXXX";
    ASSERT_NE(mkdtemp(szDir), nullptr);
    m_dir = szDir;
    m_oldDir = fs::current_path();
    fs::current_path(m_dir);
  }
  void TearDown() override {
    fs::current_path(m_oldDir);
    fs::remove_all(m_dir);
  }

  fs::path m_dir;
  fs::path m_oldDir;
  std::shared_ptr<DeviceInfo> m_pController = makeDevice("C1", 0, "Main controller", "0");
  std::shared_ptr<DeviceInfo> m_pFace = makeDevice("F1", 16, "Face", "C1");
};

TEST_F(DriverEntryTest, OutputNeverExceedsTheGivenLength) {
  DriverCallbacks face = faceRecognizerDriver();
  char szOut[64];
  std::memset(szOut, '#', sizeof(szOut));
  int nLen = 10;
  EXPECT_EQ(face.QryStatus(m_pFace.get(), szOut, &nLen, 1), -1);
  EXPECT_EQ(nLen, 0);
  EXPECT_EQ(std::string(szOut, sizeof(szOut)), std::string(sizeof(szOut), '#'));

  char szBig[512];
  nLen = sizeof(szBig);
  EXPECT_EQ(face.QryStatus(m_pFace.get(), szBig, &nLen, 1), 0);
  ASSERT_GT(nLen, 10);
  EXPECT_EQ(parse(std::string(szBig, nLen))["subDevStatus"]["devId"], "F1");

  // The exact length fits.
  char szExact[512];
  int nExact = nLen;
  EXPECT_EQ(face.QryStatus(m_pFace.get(), szExact, &nExact, 1), 0);
  EXPECT_EQ(nExact, nLen);
}

TEST_F(DriverEntryTest, RequestsAreReadWithinTheirLength) {
  DriverCallbacks controller = controllerDriver();
  // Bytes past the length would make the text invalid JSON.
  const char szRequest[] = "{\"gate\":1}garbage";
  EXPECT_EQ(controller.SetConfig(m_pController.get(), szRequest, 10, 7), 0);
  std::ifstream file("controller.txt");
  std::string strStored((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(strStored, "{\"gate\":1}");

  // A request sent with its terminating zero byte is read up to it.
  const char szWithZero[] = "{\"gate\":2}";
  EXPECT_EQ(controller.SetConfig(m_pController.get(), szWithZero, sizeof(szWithZero), 8), 0);
  char szOut[256];
  int nLen = sizeof(szOut);
  EXPECT_EQ(controller.GetConfig(m_pController.get(), szOut, &nLen, 9), 0);
  EXPECT_EQ(parse(std::string(szOut, nLen)), parse("{\"gate\":2}"));

  DriverCallbacks face = faceRecognizerDriver();
  const char szEcho[] = "{\"data\":\"hi\"}tail";
  nLen = sizeof(szOut);
  EXPECT_EQ(face.Ctrl(m_pFace.get(), szEcho, 13, szOut, &nLen, 3), 0);
  EXPECT_EQ(parse(std::string(szOut, nLen)), parse("{\"data\":\"hi\"}"));
}

TEST_F(DriverEntryTest, ConfigFilesMissingOrNotJsonFail) {
  DriverCallbacks controller = controllerDriver();
  DriverCallbacks face = faceRecognizerDriver();
  char szOut[256];
  int nLen = sizeof(szOut);
  EXPECT_EQ(controller.GetConfig(m_pController.get(), szOut, &nLen, 1), -1);
  EXPECT_EQ(nLen, 0);
  nLen = sizeof(szOut);
  EXPECT_EQ(face.GetConfig(m_pFace.get(), szOut, &nLen, 1), -1);

  std::ofstream("controller.txt") << "gate=1";
  nLen = sizeof(szOut);
  EXPECT_EQ(controller.GetConfig(m_pController.get(), szOut, &nLen, 1), -1);
  EXPECT_EQ(nLen, 0);

  // The face recogniser stores only JSON, written styled.
  EXPECT_EQ(face.SetConfig(m_pFace.get(), "gate=1", 6, 1), -1);
  EXPECT_FALSE(fs::exists("FaceRecognizerConfig.txt"));
  EXPECT_EQ(face.SetConfig(m_pFace.get(), "{\"method\":1}", 12, 1), 0);
  nLen = sizeof(szOut);
  EXPECT_EQ(face.GetConfig(m_pFace.get(), szOut, &nLen, 1), 0);
  EXPECT_EQ(std::string(szOut, nLen), styledText(parse("{\"method\":1}")));

  // A configuration file that cannot be created.
  fs::remove("controller.txt");
  fs::create_directory("controller.txt");
  EXPECT_EQ(controller.SetConfig(m_pController.get(), "{}", 2, 1), -1);
}

TEST_F(DriverEntryTest, ControlAndStatusAnswers) {
  DriverCallbacks controller = controllerDriver();
  char szOut[1024];
  int nLen = sizeof(szOut);
  EXPECT_EQ(controller.Ctrl(m_pController.get(), "{\"ctrlType\":1}", 14, szOut, &nLen, 5), 0);
  EXPECT_EQ(nLen, 0);
  nLen = sizeof(szOut);
  EXPECT_EQ(controller.Ctrl(m_pController.get(), "[1,2]", 5, szOut, &nLen, 5), 0);
  EXPECT_EQ(nLen, 0);

  nLen = sizeof(szOut);
  EXPECT_EQ(controller.QryStatus(m_pController.get(), szOut, &nLen, 6), -1);
  Json::Value status = parse(std::string(szOut, nLen));
  EXPECT_EQ(status["controlStatus"].asUInt(), 1u);
  EXPECT_EQ(status["subDevStatus"]["diyStatus"].asUInt(), 0u);

  DriverCallbacks cardReader = cardReaderDriver();
  EXPECT_EQ(cardReader.SetConfig, nullptr);
  EXPECT_EQ(cardReader.GetConfig, nullptr);
  EXPECT_EQ(cardReader.Ctrl, nullptr);
  ASSERT_NE(cardReader.QryStatus, nullptr);
}

} // namespace
} // namespace zt::demo
