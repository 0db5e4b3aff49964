#include "message_head.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace zt::bus;

namespace {

std::vector<uint8_t> bytes(const HeadMessage &message) {
  return std::vector<uint8_t>(message.data(), message.data() + message.size());
}

void putWord(std::vector<uint8_t> &vec, size_t nOffset, uint32_t uValue) {
  vec[nOffset] = uint8_t(uValue >> 24);
  vec[nOffset + 1] = uint8_t(uValue >> 16);
  vec[nOffset + 2] = uint8_t(uValue >> 8);
  vec[nOffset + 3] = uint8_t(uValue);
}

std::vector<uint8_t> build(uint32_t uSN, int32_t nType, const std::string &strBody, const char *pstrTopic,
                           const std::string &strIpList) {
  HeadMessage message;
  EXPECT_TRUE(
      genBuslineMessage(uSN, nType, strBody.data(), int(strBody.size()), pstrTopic, strIpList, message));
  return bytes(message);
}

} // namespace

TEST(BodyChecksum, MatchesTheKnownValues) {
  EXPECT_EQ(bodyChecksum(reinterpret_cast<const uint8_t *>("abc"), 3), 0x7D759DD6u);
  EXPECT_EQ(bodyChecksum(reinterpret_cast<const uint8_t *>("123456789"), 9), 0x8D9A31C3u);
  EXPECT_EQ(bodyChecksum(nullptr, 0), 0u);
  // The low half is the CRC-16/XMODEM of the body.
  EXPECT_EQ(bodyChecksum(reinterpret_cast<const uint8_t *>("123456789"), 9) & 0xFFFF, 0x31C3u);
}

TEST(GenBuslineMessage, WritesTheWorkedExampleByteForByte) {
  const std::vector<uint8_t> expected = {
      0x4D, 0x51, 0x54, 0x54, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x30, 0x7D, 0x75, 0x9D, 0xD6, 0xAB, 0xCD,
      0xEF, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63};
  EXPECT_EQ(build(1, 0x10, "abc", nullptr, ""), expected);
}

TEST(GenBuslineMessage, PlacesIpListThenResponseTopicThenBody) {
  std::vector<uint8_t> vec = build(7, -1, "body", "resp/t", "10.0.0.7|192.168.1.20");
  const size_t nIpLen = std::strlen("10.0.0.7|192.168.1.20") + 1;
  const size_t nTopicLen = std::strlen("resp/t") + 1;
  ASSERT_EQ(vec.size(), kHeadSize + nIpLen + nTopicLen + 4);
  EXPECT_STREQ(reinterpret_cast<const char *>(&vec[kHeadSize]), "10.0.0.7|192.168.1.20");
  EXPECT_STREQ(reinterpret_cast<const char *>(&vec[kHeadSize + nIpLen]), "resp/t");
  EXPECT_EQ(std::string(vec.end() - 4, vec.end()), "body");

  HeadView view;
  ASSERT_TRUE(isBuslineMessage(vec.data(), int(vec.size())));
  ASSERT_TRUE(getBuslineMessage(vec.data(), int(vec.size()), view));
  EXPECT_EQ(view.uSN, 7u);
  EXPECT_EQ(view.nType, -1);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(view.pBody), size_t(view.nBodyLen)), "body");
  EXPECT_STREQ(view.pstrResponseTopic, "resp/t");
  EXPECT_STREQ(view.pstrIpList, "10.0.0.7|192.168.1.20");
}

TEST(GenBuslineMessage, ExtremeValuesAndResponseTopicForms) {
  std::vector<uint8_t> vec = build(0xFFFFFFFF, int32_t(0x80000000), "x", "", "");
  HeadView view;
  ASSERT_TRUE(isBuslineMessage(vec.data(), int(vec.size())));
  ASSERT_TRUE(getBuslineMessage(vec.data(), int(vec.size()), view));
  EXPECT_EQ(view.uSN, 0xFFFFFFFFu);
  EXPECT_EQ(view.nType, int32_t(0x80000000));
  // An empty response topic travels as its zero byte alone.
  ASSERT_NE(view.pstrResponseTopic, nullptr);
  EXPECT_STREQ(view.pstrResponseTopic, "");
  EXPECT_EQ(view.pstrIpList, nullptr);

  vec = build(1, 1, "x", nullptr, "");
  ASSERT_TRUE(getBuslineMessage(vec.data(), int(vec.size()), view));
  EXPECT_EQ(view.pstrResponseTopic, nullptr);
}

TEST(GenBuslineMessage, EmptyBodyGivesNoHead) {
  HeadMessage message;
  ASSERT_TRUE(genBuslineMessage(1, 2, "", 0, "t", "1.2.3.4", message));
  EXPECT_EQ(message.size(), 0);
  ASSERT_TRUE(genBuslineMessage(1, 2, nullptr, 5, "t", "1.2.3.4", message));
  EXPECT_EQ(message.size(), 0);
}

TEST(IsBuslineMessage, RejectsDamagedOrForeignPayloads) {
  std::vector<uint8_t> good = build(3, 4, "hello", "r", "1.1.1.1");
  ASSERT_TRUE(isBuslineMessage(good.data(), int(good.size())));

  EXPECT_FALSE(isBuslineMessage(nullptr, 100));
  EXPECT_FALSE(isBuslineMessage(good.data(), 40));
  EXPECT_FALSE(isBuslineMessage("plain text that is long enough to pass the length test", 54));

  std::vector<uint8_t> badChecksum = good;
  badChecksum.back() ^= 1;
  EXPECT_FALSE(isBuslineMessage(badChecksum.data(), int(badChecksum.size())));

  std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
  EXPECT_FALSE(isBuslineMessage(truncated.data(), int(truncated.size())));

  // Offset + length would wrap around in 32 bits.
  std::vector<uint8_t> wrapping = good;
  putWord(wrapping, 20, 0xFFFFFFF0);
  putWord(wrapping, 24, 0x20);
  EXPECT_FALSE(isBuslineMessage(wrapping.data(), int(wrapping.size())));
}

TEST(IsBuslineMessage, AcceptsBareHeadWithEmptyBody) {
  std::vector<uint8_t> vec(kHeadSize, 0);
  putWord(vec, 0, kHeadMagic);
  putWord(vec, 24, 48);
  ASSERT_TRUE(isBuslineMessage(vec.data(), int(vec.size())));
  HeadView view;
  ASSERT_TRUE(getBuslineMessage(vec.data(), int(vec.size()), view));
  EXPECT_EQ(view.nBodyLen, 0);
}

// Heads from other writers may point their texts anywhere; the reader must stay inside the payload.
TEST(GetBuslineMessage, TextsOutsideThePayloadOrUnterminatedAreAbsent) {
  std::vector<uint8_t> vec = build(1, 2, "body", "resp", "1.2.3.4");
  HeadView view;

  std::vector<uint8_t> outside = vec;
  putWord(outside, 16, 0x7FFFFFF0);               // response topic offset far beyond the end
  putWord(outside, 44, uint32_t(vec.size()) - 2); // IP list runs past the end
  ASSERT_TRUE(isBuslineMessage(outside.data(), int(outside.size())));
  ASSERT_TRUE(getBuslineMessage(outside.data(), int(outside.size()), view));
  EXPECT_EQ(view.pstrResponseTopic, nullptr);
  EXPECT_EQ(view.pstrIpList, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(view.pBody), size_t(view.nBodyLen)), "body");

  std::vector<uint8_t> unterminated = vec;
  putWord(unterminated, 12, 4); // "resp" without its zero byte
  putWord(unterminated, 40, 7); // "1.2.3.4" without its zero byte
  ASSERT_TRUE(getBuslineMessage(unterminated.data(), int(unterminated.size()), view));
  EXPECT_EQ(view.pstrResponseTopic, nullptr);
  EXPECT_EQ(view.pstrIpList, nullptr);
}

TEST(GetBuslineMessage, IpListOnlyWithExtensionMarkerAndRoomForItsWords) {
  std::vector<uint8_t> vec = build(1, 2, "body", nullptr, "1.2.3.4");
  putWord(vec, 32, 0);
  HeadView view;
  ASSERT_TRUE(getBuslineMessage(vec.data(), int(vec.size()), view));
  EXPECT_EQ(view.pstrIpList, nullptr);

  // A 44-byte head with the marker: the IP list words would lie past the end.
  std::vector<uint8_t> shortHead(44, 0);
  putWord(shortHead, 0, kHeadMagic);
  putWord(shortHead, 24, 44);
  putWord(shortHead, 32, kHeadExtensionMarker);
  ASSERT_TRUE(isBuslineMessage(shortHead.data(), int(shortHead.size())));
  ASSERT_TRUE(getBuslineMessage(shortHead.data(), int(shortHead.size()), view));
  EXPECT_EQ(view.pstrIpList, nullptr);
}
