// The link's message text and what the receivers accept from it.
#include "answer_text.h"
#include "envelope.h"
#include "link_address.h"
#include "message_fields.h"
#include "proxy_device.h"

#include <gtest/gtest.h>

namespace zt::proxy {
namespace {

TEST(Envelope, IsTheStyledTextWithMembersInNameOrder) {
  Json::Value body(Json::objectValue);
  body["sn"] = 7;
  body["devId"] = "D1";
  body["data"] = Json::Value();
  std::string strText = buildEnvelope(0x8023, 0, body, generatedSeqId(0x8023, 1), 1700000000123);
  EXPECT_EQ(strText, "{\n"
                     "   \"body\" : {\n"
                     "      \"data\" : null,\n"
                     "      \"devId\" : \"D1\",\n"
                     "      \"sn\" : 7\n"
                     "   },\n"
                     "   \"head\" : {\n"
                     "      \"cmd\" : 32803,\n"
                     "      \"seqId\" : \"ztsi_proxy_32803_1\",\n"
                     "      \"status\" : 0,\n"
                     "      \"timestamp\" : 1700000000123,\n"
                     "      \"ver\" : \"1.1.0\"\n"
                     "   }\n"
                     "}\n");
}

TEST(Envelope, AnAnswerCarriesStatusOneAndTheRequestsSeqId) {
  Json::Value body(Json::objectValue);
  body["appId"] = "server-x";
  std::string strText = buildEnvelope(0x8001, 1, body, "ztsi_proxy_32769_42", 5);
  EXPECT_EQ(strText, "{\n"
                     "   \"body\" : {\n"
                     "      \"appId\" : \"server-x\"\n"
                     "   },\n"
                     "   \"head\" : {\n"
                     "      \"cmd\" : 32769,\n"
                     "      \"seqId\" : \"ztsi_proxy_32769_42\",\n"
                     "      \"status\" : 1,\n"
                     "      \"timestamp\" : 5,\n"
                     "      \"ver\" : \"1.1.0\"\n"
                     "   }\n"
                     "}\n");
  EXPECT_EQ(generatedSeqId(32769, 4294967295u), "ztsi_proxy_32769_4294967295");

  ReceivedMessage message;
  ASSERT_TRUE(parseMessage(strText, message));
  EXPECT_EQ(message.nCmd, 0x8001);
  EXPECT_EQ(message.head["seqId"].asString(), "ztsi_proxy_32769_42");
  EXPECT_EQ(message.body["appId"].asString(), "server-x");
}

TEST(Envelope, MessagesWithoutAnIntegerCmdAreRefused) {
  ReceivedMessage message;
  EXPECT_FALSE(parseMessage("not json at all", message));
  EXPECT_FALSE(parseMessage("", message));
  EXPECT_FALSE(parseMessage("[1, 2]", message));
  EXPECT_FALSE(parseMessage("42", message));
  EXPECT_FALSE(parseMessage(R"({"head": {"seqId": "x"}, "body": {}})", message));
  EXPECT_FALSE(parseMessage(R"({"head": {"cmd": "32769"}, "body": {}})", message));
  EXPECT_FALSE(parseMessage(R"({"head": 5, "body": {}})", message));
  EXPECT_FALSE(parseMessage(R"({"body": {}})", message));
  EXPECT_TRUE(parseMessage(R"({"head": {"cmd": 32802}})", message));
  EXPECT_TRUE(message.body.isNull());
}

TEST(MessageFieldsReading, MissingMembersAreEmptyWrongTypesInvalidate) {
  Json::Value head(Json::objectValue);
  head["seqId"] = "s1";
  MessageFields fields;
  Json::Value body(Json::objectValue);
  body["devId"] = "D1";
  body["sn"] = 9;
  ASSERT_TRUE(readMessageFields(head, body, fields));
  EXPECT_EQ(fields.strSeqId, "s1");
  EXPECT_EQ(fields.strDevId, "D1");
  EXPECT_EQ(fields.nSn, 9);
  EXPECT_EQ(fields.strData, "");
  EXPECT_EQ(fields.nCode, 0);

  auto with = [&](const char *pstrName, const Json::Value &value) {
    Json::Value changed = body;
    changed[pstrName] = value;
    MessageFields out;
    return readMessageFields(head, changed, out);
  };
  EXPECT_FALSE(with("sn", "9"));
  EXPECT_FALSE(with("sn", 1.5));
  EXPECT_FALSE(with("sn", true));
  EXPECT_FALSE(with("sn", Json::Value(Json::UInt64(1) << 40)));
  EXPECT_FALSE(with("data", Json::Value(Json::objectValue)));
  EXPECT_FALSE(with("devId", 12));
  EXPECT_FALSE(with("code", "0"));
  EXPECT_TRUE(with("data", Json::Value()));
  EXPECT_TRUE(with("sn", 3.0));
  EXPECT_FALSE(readMessageFields(head, Json::Value("text"), fields));
  EXPECT_FALSE(readMessageFields(head, Json::Value(Json::arrayValue), fields));
}

TEST(MessageFieldsReading, DeviceBodiesRoundTripAndRefuseWrongTypes) {
  ProxyDevice device{"D1", 3, 1001, "gate", "P", "desc", "M", "31", "", kNotRegistered};
  ProxyDevice read;
  ASSERT_TRUE(readDeviceBody(deviceBody(device), read));
  EXPECT_EQ(read.strId, "D1");
  EXPECT_EQ(read.nType, 3);
  EXPECT_EQ(read.nVdt, 1001);
  EXPECT_EQ(read.strName, "gate");
  EXPECT_EQ(read.strPid, "P");
  EXPECT_EQ(read.strDesc, "desc");
  EXPECT_EQ(read.strModel, "M");
  EXPECT_EQ(read.strClientId, "31");
  Json::Value body = deviceBody(device);
  body["vdt"] = "1001";
  EXPECT_FALSE(readDeviceBody(body, read));
}

TEST(AnswerTexts, TheClientTakesCodeAndDescFromAResponseObject) {
  Answer answer = deviceAnswer(R"({"cmd":"GetParam","code":5,"desc":"short text"})");
  EXPECT_EQ(answer.nCode, 5);
  EXPECT_EQ(answer.strText, "short text");
  answer = deviceAnswer("plain words");
  EXPECT_EQ(answer.nCode, 0);
  EXPECT_EQ(answer.strText, "plain words");
  // JSON that is not an object is text like any other.
  for (const char *pstrText : {"42", "true", "[1]", "\"quoted\"", "null"}) {
    answer = deviceAnswer(pstrText);
    EXPECT_EQ(answer.nCode, 0) << pstrText;
    EXPECT_EQ(answer.strText, pstrText);
  }
  answer = deviceAnswer(R"({"code":"5","desc":"x"})");
  EXPECT_EQ(answer.nCode, 0);
  EXPECT_EQ(answer.strText, R"({"code":"5","desc":"x"})");
  answer = deviceAnswer(R"({"code":1,"desc":{"a":1}})");
  EXPECT_EQ(answer.nCode, 1);
  EXPECT_EQ(answer.strText, R"({"a":1})");
}

TEST(AnswerTexts, TheServerKeepsTheRemoteCodeUnlessTheDataCarriesOne) {
  Answer answer = linkAnswer(7, "driver failed");
  EXPECT_EQ(answer.nCode, 7); // a remote failure stays a failure
  EXPECT_EQ(answer.strText, "driver failed");
  answer = linkAnswer(0, R"({"code":3,"data":"x"})");
  EXPECT_EQ(answer.nCode, 3);
  EXPECT_EQ(answer.strText, "x");
  answer = linkAnswer(7, R"({"data":"no code"})");
  EXPECT_EQ(answer.nCode, 7);
  EXPECT_EQ(answer.strText, R"({"data":"no code"})");
  answer = linkAnswer(-4, "[1]");
  EXPECT_EQ(answer.nCode, -4);
  EXPECT_EQ(answer.strText, "[1]");
  answer = linkAnswer(0, R"({"code":2})");
  EXPECT_EQ(answer.nCode, 2);
  EXPECT_EQ(answer.strText, "");
}

TEST(LinkAddresses, WithoutAPortTheLinkUses8012) {
  EXPECT_EQ(splitLinkAddress("127.0.0.1").strPort, "8012");
  EXPECT_EQ(splitLinkAddress("127.0.0.1").strIp, "127.0.0.1");
  EXPECT_EQ(splitLinkAddress("127.0.0.1:9000").strPort, "9000");
  EXPECT_EQ(splitLinkAddress("127.0.0.1:9000").strIp, "127.0.0.1");
  EXPECT_EQ(splitLinkAddress(":9000").strIp, "");
}

} // namespace
} // namespace zt::proxy
