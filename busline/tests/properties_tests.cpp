#include <gtest/gtest.h>
#include <mqtt_protocol.h>

#include "message_head.h"
#include "mqtt_properties.h"
#include "received_message.h"

using namespace zt::bus;

namespace {

// Owns a property list for one test.
struct Props {
  mosquitto_property *p = nullptr;
  ~Props() { mosquitto_property_free_all(&p); }
};

mosquitto_message messageOf(std::string &strPayload) {
  mosquitto_message message{};
  message.topic = const_cast<char *>("t");
  message.payload = strPayload.empty() ? nullptr : &strPayload[0];
  message.payloadlen = int(strPayload.size());
  return message;
}

std::string textOf(const LibraryText &pstrValue) {
  return pstrValue ? pstrValue.get() : "<absent>";
}

} // namespace

TEST(MessageProperties, CarryTheValuesAsDecimalTextInOrder) {
  Props props;
  props.p = buildMessageProperties("busline_publish", 0xFFFFFFFF, -1, "reply", "10.0.0.1|10.0.0.2");
  MessageProperties values;
  readMessageProperties(props.p, values);
  EXPECT_EQ(textOf(values.pstrSN), "4294967295");
  EXPECT_EQ(textOf(values.pstrType), "-1");
  EXPECT_EQ(textOf(values.pstrResponseTopic), "reply");
  EXPECT_EQ(textOf(values.pstrIpList), "10.0.0.1|10.0.0.2");
  // Order on the wire: SN, TYPE, RESPONSETOPIC, SOURCEIPLIST.
  char *pstrName = nullptr;
  char *pstrValue = nullptr;
  const mosquitto_property *pProp =
      mosquitto_property_read_string_pair(props.p, MQTT_PROP_USER_PROPERTY, &pstrName, &pstrValue, false);
  std::vector<std::string> vecNames;
  while (pProp != nullptr) {
    vecNames.push_back(pstrName);
    free(pstrName);
    free(pstrValue);
    pProp = mosquitto_property_read_string_pair(pProp, MQTT_PROP_USER_PROPERTY, &pstrName, &pstrValue, true);
  }
  EXPECT_EQ(vecNames, (std::vector<std::string>{"SN", "TYPE", "RESPONSETOPIC", "SOURCEIPLIST"}));
}

TEST(MessageProperties, LeaveOutEmptyResponseTopicAndIpList) {
  Props props;
  props.p = buildMessageProperties("busline_publish", 1, 2, "", "");
  MessageProperties values;
  readMessageProperties(props.p, values);
  EXPECT_EQ(textOf(values.pstrResponseTopic), "<absent>");
  EXPECT_EQ(textOf(values.pstrIpList), "<absent>");
  Props noTopic;
  noTopic.p = buildMessageProperties("busline_set_will", 1, 2, nullptr, "1.2.3.4");
  MessageProperties noTopicValues;
  readMessageProperties(noTopic.p, noTopicValues);
  EXPECT_EQ(textOf(noTopicValues.pstrResponseTopic), "<absent>");
  EXPECT_EQ(textOf(noTopicValues.pstrIpList), "1.2.3.4");
}

TEST(ReadMessageProperties, FirstExactMatchAndLenientNumbers) {
  Props props;
  ASSERT_EQ(addUserProperty(&props.p, "sn", std::string("9")), 0);
  ASSERT_EQ(mosquitto_property_add_int32(&props.p, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, 60), 0);
  ASSERT_EQ(addUserProperty(&props.p, "SN", std::string("not a number")), 0);
  ASSERT_EQ(addUserProperty(&props.p, "SN", std::string("12")), 0);
  ASSERT_EQ(addUserProperty(&props.p, "TYPE", int64_t(-42)), 0);
  ASSERT_EQ(addUserProperty(&props.p, "SOURCEIPLIST", std::string("")), 0);
  ASSERT_EQ(addUserProperty(&props.p, "SOURCEIPLIST", std::string("2.2.2.2")), 0);
  MessageProperties values;
  readMessageProperties(props.p, values);
  ASSERT_TRUE(values.pstrSN);
  EXPECT_EQ(propertyNumber(values.pstrSN.get()), 0); // the first "SN" is taken, and it is not a number
  ASSERT_TRUE(values.pstrType);
  EXPECT_EQ(propertyNumber(values.pstrType.get()), -42);
  EXPECT_EQ(textOf(values.pstrIpList), "");
  EXPECT_FALSE(values.pstrResponseTopic);
  MessageProperties none;
  readMessageProperties(nullptr, none);
  EXPECT_FALSE(none.pstrSN);
}

TEST(DecodeReceivedMessage, PropertiesWinOverAHeadInThePayload) {
  HeadMessage head;
  ASSERT_TRUE(genBuslineMessage(5, 6, "body", 4, "head/reply", "", head));
  std::string strPayload(reinterpret_cast<const char *>(head.data()), size_t(head.size()));
  mosquitto_message message = messageOf(strPayload);
  Props props;
  props.p = buildMessageProperties("busline_publish", 0xFFFFFFFF, -1, "prop/reply", "1.1.1.1");
  ReceivedMessage received;
  decodeReceivedMessage(&message, props.p, true, received);
  EXPECT_EQ(received.uSN, 0xFFFFFFFFu);
  EXPECT_EQ(received.nType, -1);
  ASSERT_NE(received.pstrResponseTopic, nullptr);
  EXPECT_STREQ(received.pstrResponseTopic, "prop/reply");
  EXPECT_STREQ(received.pstrIpList, "1.1.1.1");
  EXPECT_EQ(received.nPayloadLen, head.size()); // delivered whole
}

TEST(DecodeReceivedMessage, PropertiesWithoutSnOrTypeGiveZero) {
  std::string strPayload = "x";
  mosquitto_message message = messageOf(strPayload);
  Props props;
  ASSERT_EQ(addUserProperty(&props.p, "OTHER", std::string("1")), 0);
  ReceivedMessage received;
  decodeReceivedMessage(&message, props.p, true, received);
  EXPECT_EQ(received.uSN, 0u);
  EXPECT_EQ(received.nType, 0);
  EXPECT_EQ(received.pstrResponseTopic, nullptr);
  EXPECT_STREQ(received.pstrIpList, "");
}

TEST(DecodeReceivedMessage, HeadWithoutPropertiesIsUnwrapped) {
  HeadMessage head;
  ASSERT_TRUE(genBuslineMessage(5, -6, "body", 4, "head/reply", "10.1.1.1", head));
  std::string strPayload(reinterpret_cast<const char *>(head.data()), size_t(head.size()));
  mosquitto_message message = messageOf(strPayload);
  ReceivedMessage received;
  decodeReceivedMessage(&message, nullptr, true, received);
  EXPECT_EQ(std::string(static_cast<const char *>(received.pPayload), size_t(received.nPayloadLen)), "body");
  EXPECT_EQ(received.uSN, 5u);
  EXPECT_EQ(received.nType, -6);
  EXPECT_STREQ(received.pstrResponseTopic, "head/reply");
  EXPECT_STREQ(received.pstrIpList, "10.1.1.1");

  // A session that reads properties only delivers the same payload whole.
  decodeReceivedMessage(&message, nullptr, false, received);
  EXPECT_EQ(received.pPayload, message.payload);
  EXPECT_EQ(received.nPayloadLen, int(strPayload.size()));
  EXPECT_EQ(received.uSN, 0u);
  EXPECT_EQ(received.nType, 0);
  EXPECT_EQ(received.pstrResponseTopic, nullptr);
}

TEST(DecodeReceivedMessage, DamagedHeadAndEmptyPayloadAreDeliveredWhole) {
  HeadMessage head;
  ASSERT_TRUE(genBuslineMessage(5, 6, "body", 4, nullptr, "", head));
  std::string strPayload(reinterpret_cast<const char *>(head.data()), size_t(head.size()));
  strPayload[28] ^= 0x01; // checksum
  mosquitto_message message = messageOf(strPayload);
  ReceivedMessage received;
  decodeReceivedMessage(&message, nullptr, true, received);
  EXPECT_EQ(received.pPayload, message.payload);
  EXPECT_EQ(received.nPayloadLen, int(strPayload.size()));
  EXPECT_EQ(received.uSN, 0u);
  EXPECT_EQ(received.nType, 0);

  std::string strEmpty;
  mosquitto_message empty = messageOf(strEmpty);
  decodeReceivedMessage(&empty, nullptr, true, received);
  EXPECT_EQ(received.nPayloadLen, 0);
  EXPECT_EQ(received.uSN, 0u);
}
