#include "broker_address.h"
#include "command_code.h"
#include "device_info_text.h"
#include "response_object.h"
#include "run_model.h"
#include "sn_counter.h"
#include "topic.h"
#include "zt_device_info.h"

#include <json/reader.h>

#include <gtest/gtest.h>

#include "parse_json.h"

#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <thread>

extern "C" size_t deviceInfoSizeSeenByC(void);
extern "C" size_t deviceInfoModelOffsetSeenByC(void);

using zt::test::parseJson;

TEST(CommandTable, NamesAndCodesMapBothWays) {
  const char *names[] = {"FindDevices", "SetParam",     "GetParam",   "Ctrl",
                         "QryStatus",   "ReportStatus", "ReportData", "ReportEvent",
                         "RegTestCase", "SetRunModel",  "QryRunModel"};
  for (int nCode = 1; nCode <= 11; ++nCode) {
    EXPECT_STREQ(zt::protocol::commandNameOf(nCode), names[nCode - 1]);
    EXPECT_EQ(zt::protocol::commandCodeOf(names[nCode - 1]), nCode);
  }
  EXPECT_EQ(zt::protocol::commandCodeOf("NULL"), -1);
  EXPECT_EQ(zt::protocol::commandCodeOf("setparam"), -1);
  EXPECT_EQ(zt::protocol::commandCodeOf(""), -1);
  EXPECT_STREQ(zt::protocol::commandNameOf(0), "NULL");
  EXPECT_STREQ(zt::protocol::commandNameOf(12), "NULL");
  EXPECT_STREQ(zt::protocol::commandNameOf(-1), "NULL");
  EXPECT_STREQ(zt::protocol::runModelName(0), "Normal");
  EXPECT_STREQ(zt::protocol::runModelName(1), "Debug");
}

TEST(DeviceInfoRecord, LayoutIsTheSameForCAndCpp) {
  EXPECT_EQ(sizeof(DeviceInfo), 304u);
  EXPECT_EQ(deviceInfoSizeSeenByC(), 304u);
  EXPECT_EQ(deviceInfoModelOffsetSeenByC(), 272u);

  DeviceInfo info;
  std::memset(&info, 'A', sizeof info); // every text field full, no terminator anywhere
  EXPECT_EQ(zt::protocol::fieldText(info.id), std::string(36, 'A'));
  EXPECT_EQ(zt::protocol::fieldText(info.model), std::string(32, 'A'));
  std::strcpy(info.pid, "D1");
  EXPECT_EQ(zt::protocol::fieldText(info.pid), "D1");
}

TEST(Topics, BuiltForEachDirectionChannelAndFixedForm) {
  using zt::protocol::Direction;
  EXPECT_EQ(zt::protocol::deviceTopic(Direction::Down, 0, zt::protocol::kCmdGetParam, "0", 16, "D1"),
            "ZTDM/DOWN/DEV/0/16/D1/GetParam");
  EXPECT_EQ(zt::protocol::deviceTopic(Direction::Up, 0, zt::protocol::kCmdQryStatus, "D1", 14, "C1"),
            "ZTDM/UP/DEV/D1/14/C1/QryStatus");
  EXPECT_EQ(zt::protocol::deviceTopic(Direction::Up, 1, zt::protocol::kCmdReportData, "0", -3, "D1"),
            "ZTDM/UP/TEST/0/-3/D1/ReportData");
  EXPECT_EQ(zt::protocol::deviceTopic(Direction::Down, 1, zt::protocol::kCmdSetRunModel, "0", 16, "D1"),
            "ZTDM/DOWN/DEV-TEST/0/16/D1/SetRunModel");
  EXPECT_EQ(zt::protocol::deviceTopic(Direction::Up, 0, zt::protocol::kCmdQryRunModel, "0", 16, "D1"),
            "ZTDM/UP/DEV-TEST/0/16/D1/QryRunModel");
  // Only model 1 selects TEST.
  EXPECT_EQ(zt::protocol::topicPrefix(Direction::Up, 2, zt::protocol::kCmdCtrl), "ZTDM/UP/DEV/");
  EXPECT_EQ(zt::protocol::findDevicesRequestTopic("X"), "ZTDM/DOWN/DEV/0/0/X/FindDevices");
  EXPECT_EQ(zt::protocol::testCaseTopic(16), "ZTDM/UP/DEV/0/0/16/RegTestCase");
  EXPECT_EQ(zt::protocol::rootDevicesFilter(Direction::Down, 0), "ZTDM/DOWN/DEV/0/#");
  EXPECT_EQ(zt::protocol::rootDevicesFilter(Direction::Down, 1), "ZTDM/DOWN/TEST/0/#");
  EXPECT_EQ(zt::protocol::rootDevicesFilter(Direction::Up, 0), "ZTDM/UP/DEV/0/#");
  EXPECT_EQ(zt::protocol::childDevicesFilter(Direction::Down, 1, "D1"), "ZTDM/DOWN/TEST/D1/#");
  EXPECT_EQ(zt::protocol::childDevicesFilter(Direction::Up, 0, "D1"), "ZTDM/UP/DEV/D1/#");
  EXPECT_EQ(zt::protocol::runModelFilter(Direction::Down, "D1"), "ZTDM/DOWN/DEV-TEST/0/+/D1/#");
  EXPECT_EQ(zt::protocol::runModelFilter(Direction::Up, "D1"), "ZTDM/UP/DEV-TEST/0/+/D1/#");
}

TEST(Topics, SplitKeepsEmptySegmentsAndStrictCheckRejectsMalformed) {
  auto vecSegments = zt::protocol::splitTopic("ZTDM/UP/DEV/0/16/D1/GetParam");
  ASSERT_EQ(vecSegments.size(), 7u);
  EXPECT_EQ(vecSegments[zt::protocol::kSegDevId], "D1");
  EXPECT_EQ(vecSegments[zt::protocol::kSegCommand], "GetParam");
  EXPECT_TRUE(zt::protocol::isWellFormedTopic(vecSegments));

  EXPECT_EQ(zt::protocol::splitTopic("").size(), 1u);
  EXPECT_EQ(zt::protocol::splitTopic("a//b/").size(), 4u);
  EXPECT_FALSE(zt::protocol::isWellFormedTopic(zt::protocol::splitTopic("ZTDM/UP/DEV/0/16/D1/GetParam/x")));
  EXPECT_FALSE(zt::protocol::isWellFormedTopic(zt::protocol::splitTopic("ZTDM/UP/DEV/0/16/D1")));
  EXPECT_FALSE(zt::protocol::isWellFormedTopic(zt::protocol::splitTopic("ZTDX/UP/DEV/0/16/D1/GetParam")));
  EXPECT_FALSE(zt::protocol::isWellFormedTopic(zt::protocol::splitTopic("ZTDM/UP/DEV//16/D1/GetParam")));
  EXPECT_FALSE(zt::protocol::isWellFormedTopic(zt::protocol::splitTopic("ZTDM/UP/DEV/0/16/D1/")));
}

TEST(ResponseObject, CompactOneLineWithKeysInOrder) {
  EXPECT_EQ(zt::protocol::responseBody(2, 0, nullptr, 0), R"({"cmd":2,"code":0,"desc":""})");
  EXPECT_EQ(zt::protocol::responseBody(3, 100, "abc", 3), R"({"cmd":3,"code":100,"desc":"abc"})");
  // JSON output of a driver is carried as a string, only the given length counts.
  std::string strDriverOut = R"({"a":1})";
  std::string strBody = zt::protocol::responseBody(3, 0, strDriverOut.c_str(), static_cast<int>(strDriverOut.size()));
  EXPECT_EQ(strBody.find('\n'), std::string::npos);
  Json::Value jsonBody = parseJson(strBody);
  EXPECT_EQ(jsonBody["desc"].asString(), strDriverOut);
  EXPECT_EQ(parseJson(zt::protocol::responseBody(4, 0, "ab", 1))["desc"].asString(), "a");

  EXPECT_EQ(zt::protocol::requestTimeoutDesc(), R"({"code":4,"desc":"Request time out!"})");
  EXPECT_EQ(zt::protocol::runModelDesc(1), R"({"runmodel":1})");
  Json::Value jsonTimeout = parseJson(zt::protocol::responseBody(2, 4, zt::protocol::requestTimeoutDesc().c_str(),
                                                       static_cast<int>(zt::protocol::requestTimeoutDesc().size())));
  EXPECT_EQ(jsonTimeout["code"].asInt(), 4);
  EXPECT_EQ(parseJson(jsonTimeout["desc"].asString())["desc"].asString(), "Request time out!");
}

TEST(ResponseObject, ArbitraryBytesStayValidJson) {
  const char bytes[] = {'x', '\0', '"', '\\', '\n', static_cast<char>(0xFF), static_cast<char>(0xC3)};
  std::string strBody = zt::protocol::responseBody(5, 0, bytes, sizeof bytes);
  EXPECT_EQ(strBody.find('\n'), std::string::npos);
  Json::Value jsonBody = parseJson(strBody);
  EXPECT_EQ(jsonBody["cmd"].asInt(), 5);
  EXPECT_TRUE(jsonBody["desc"].isString());
}

TEST(SnCounter, StartsAtOneWrapsToOneAndNeverRepeatsAcrossThreads) {
  zt::protocol::SnCounter counter;
  EXPECT_EQ(counter.nextSn(), 1);
  EXPECT_EQ(counter.nextSn(), 2);
  zt::protocol::SnCounter nearEnd(std::numeric_limits<int32_t>::max() - 1);
  EXPECT_EQ(nearEnd.nextSn(), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(nearEnd.nextSn(), 1);

  zt::protocol::SnCounter shared;
  std::vector<int32_t> vecA, vecB;
  std::thread threadA([&] {
    for (int i = 0; i < 1000; ++i)
      vecA.push_back(shared.nextSn());
  });
  for (int i = 0; i < 1000; ++i)
    vecB.push_back(shared.nextSn());
  threadA.join();
  std::set<int32_t> setAll(vecA.begin(), vecA.end());
  setAll.insert(vecB.begin(), vecB.end());
  EXPECT_EQ(setAll.size(), 2000u);
  EXPECT_EQ(*setAll.begin(), 1);
  EXPECT_EQ(*setAll.rbegin(), 2000);
}

TEST(BrokerAddress, AcceptsDottedIpv4WithPortOnly) {
  zt::protocol::BrokerAddress address;
  ASSERT_TRUE(zt::protocol::parseBrokerAddress("127.0.0.1:1883", address));
  EXPECT_EQ(address.strHost, "127.0.0.1");
  EXPECT_EQ(address.uPort, 1883);
  EXPECT_TRUE(zt::protocol::parseBrokerAddress("255.255.255.255:65535", address));
  EXPECT_TRUE(zt::protocol::parseBrokerAddress("0.0.0.0:1", address));

  const char *bad[] = {
      "127.0.0.1",      "localhost:1883",  "1.2.3:1883",    "1.2.3.4.5:1883", ".1.2.3:1883",
      "1.2.3.256:1883", "1..2.3:1883",     "1.2.3.:1883",   ":1883",          "",
      "1.2.3.4:",       "1.2.3.4:65536",   "1.2.3.4:18x3",  "1.2.3.4:-1",     " 1.2.3.4:1883",
      "1.2.3.4 :1883",  "1.2.3.0004:1883", "1.2.3.4:1883:1", "a.b.c.d:1", "-1.2.3.4:1", "1.2.3.4:0"};
  for (const char *pstrAddress : bad) {
    EXPECT_FALSE(zt::protocol::parseBrokerAddress(pstrAddress, address)) << pstrAddress;
  }
  EXPECT_FALSE(zt::protocol::parseBrokerAddress(nullptr, address));
}

TEST(BrokerAddress, SaysWhatIsWrong) {
  zt::protocol::BrokerAddress address;
  std::string strProblem;
  EXPECT_FALSE(zt::protocol::parseBrokerAddress("localhost:1883", address, &strProblem));
  EXPECT_NE(strProblem.find("\"localhost:1883\""), std::string::npos) << strProblem;
  EXPECT_NE(strProblem.find("host names are not resolved"), std::string::npos) << strProblem;
  EXPECT_FALSE(zt::protocol::parseBrokerAddress("300.1.1.1:1883", address, &strProblem));
  EXPECT_NE(strProblem.find("each of its four numbers is 0 to 255"), std::string::npos) << strProblem;
  EXPECT_FALSE(zt::protocol::parseBrokerAddress("127.0.0.1:99999", address, &strProblem));
  EXPECT_NE(strProblem.find("no valid port"), std::string::npos) << strProblem;
  EXPECT_FALSE(zt::protocol::parseBrokerAddress("127.0.0.1", address, &strProblem));
  EXPECT_NE(strProblem.find("has no port"), std::string::npos) << strProblem;
  EXPECT_FALSE(zt::protocol::parseBrokerAddress(nullptr, address, &strProblem));
  EXPECT_NE(strProblem.find("no broker address"), std::string::npos) << strProblem;
}
