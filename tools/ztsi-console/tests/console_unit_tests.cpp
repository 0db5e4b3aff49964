// The console's parts without a broker: command lines, broker address, line input and the
// control request body.
#include "command_line.h"
#include "console_config.h"
#include "ctrl_request.h"
#include "line_input.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <json/json.h>
#include <sstream>

namespace zt::console {
namespace {

TEST(CommandLineTest, SplitsAtTheFirstSpace) {
  CommandLine line = parseCommandLine("D1 ctrl");
  EXPECT_EQ(line.strError, "");
  EXPECT_EQ(line.strDevId, "D1");
  EXPECT_EQ(line.strCommand, "ctrl");
  line = parseCommandLine("D1 get Test");
  EXPECT_EQ(line.strCommand, "get Test");
  line = parseCommandLine(" find");
  EXPECT_EQ(line.strError, "");
  EXPECT_EQ(line.strDevId, "");
  EXPECT_EQ(parseCommandLine(std::string(32, 'x') + " q").strDevId, std::string(32, 'x'));
}

TEST(CommandLineTest, RejectsMalformedLines) {
  const std::string strFormat = "input error, format:device_id cmd\n";
  EXPECT_EQ(parseCommandLine("ctrl").strError, strFormat);
  EXPECT_EQ(parseCommandLine("").strError, strFormat);
  EXPECT_EQ(parseCommandLine("a ").strError, strFormat);
  EXPECT_EQ(parseCommandLine("D1 ").strError, strFormat);
  EXPECT_EQ(parseCommandLine(std::string(33, 'x') + " ctrl").strError,
            "input error, device_id too long, over 32 bytes\n");
  EXPECT_EQ(parseCommandLine(std::string(40, 'x') + " ").strError,
            "input error, device_id too long, over 32 bytes\n");
}

TEST(ConsoleConfigTest, PortBelowOneMeansDefault) {
  EXPECT_EQ(brokerAddress("127.0.0.1", "1884"), "127.0.0.1:1884");
  EXPECT_EQ(brokerAddress("127.0.0.1", "0"), "127.0.0.1:1883");
  EXPECT_EQ(brokerAddress("127.0.0.1", ""), "127.0.0.1:1883");
  EXPECT_EQ(brokerAddress("127.0.0.1", "-4"), "127.0.0.1:1883");
  EXPECT_EQ(brokerAddress("", "x"), ":1883");

  std::string strFile = "10.0.0.1\r\n12345678901\n";
  std::FILE *pFile = fmemopen(strFile.data(), strFile.size(), "r");
  // The port line is read up to 9 characters.
  EXPECT_EQ(readBrokerAddress(pFile), "10.0.0.1:123456789");
  std::fclose(pFile);
}

TEST(LineInputTest, CutsLongLinesAndSkipsTheirRest) {
  std::string strText = std::string(300, 'a') + "\nnext\nlast";
  std::FILE *pFile = fmemopen(strText.data(), strText.size(), "r");
  EXPECT_EQ(readLine(pFile, 255), std::string(255, 'a'));
  EXPECT_EQ(readLine(pFile, 255), "next");
  EXPECT_EQ(readLine(pFile, 255), "last");
  EXPECT_EQ(readLine(pFile, 255), std::nullopt);
  std::fclose(pFile);
}

TEST(CtrlRequestTest, BodyCarriesHeadAndControl) {
  Json::Value request;
  std::istringstream stream(ctrlRequestBody("Gate7", 123456789012LL));
  ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), stream, &request, nullptr));
  const Json::Value &head = request["head"];
  EXPECT_EQ(head["cmd"].asInt(), 2225);
  EXPECT_EQ(head["devId"], "Gate7");
  EXPECT_EQ(head["session"].asInt(), 0);
  EXPECT_EQ(head["status"].asInt(), 0);
  EXPECT_EQ(head["ttl"].asInt(), -1);
  EXPECT_EQ(head["timestamp"].asInt64(), 123456789012LL);
  EXPECT_EQ(head["version"].asInt(), 100);
  const Json::Value &body = request["body"];
  EXPECT_EQ(body["ctrlType"].asUInt(), 1u);
  EXPECT_EQ(body["credentialType"].asUInt(), 0u);
  EXPECT_EQ(body["why"].asUInt(), 0u);
  EXPECT_EQ(body["credentialNo"].asString().rfind("0101,", 0), 0u);
  EXPECT_EQ(body["exData"]["exData"], "");
}

} // namespace
} // namespace zt::console
