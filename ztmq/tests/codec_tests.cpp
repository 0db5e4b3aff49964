// The message header on the wire, the decoder's refusals, the receive buffer and task addresses.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cfifo.h"
#include "message_codec.h"
#include "task_address.h"

namespace zt::mq {
namespace {

std::vector<uint8_t> message(const std::string &strSrcAddr, const std::string &strSource, const std::string &strDest,
                             int32_t nSn, const std::string &strPayload) {
  std::vector<uint8_t> vecMessage(kHeaderSize);
  encodeHeader(vecMessage.data(), strSrcAddr, strSource, strDest, nSn);
  vecMessage.insert(vecMessage.end(), strPayload.begin(), strPayload.end());
  return vecMessage;
}

TEST(MessageCodec, HeaderLayoutOnTheWire) {
  std::vector<uint8_t> vecMessage = message("127.0.0.1:6000", "taskA", "taskB", 0x01020304, "");
  const char *pBytes = reinterpret_cast<const char *>(vecMessage.data());
  EXPECT_STREQ(pBytes, "127.0.0.1:6000");
  EXPECT_STREQ(pBytes + 64, "taskA");
  EXPECT_STREQ(pBytes + 128, "taskB");
  EXPECT_EQ(std::vector<uint8_t>(vecMessage.begin() + 192, vecMessage.end()),
            (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01, '0', '.', '1', 'V'}));
  // Everything between the texts is zero.
  EXPECT_TRUE(std::all_of(vecMessage.begin() + 14, vecMessage.begin() + 64, [](uint8_t b) { return b == 0; }));
}

TEST(MessageCodec, DecodesWhatItEncodes) {
  for (int32_t nSn : {0, 1, -1, INT32_MIN, INT32_MAX}) {
    std::vector<uint8_t> vecMessage = message("a:1", "src", "dst", nSn, std::string("pay\0load", 8));
    DecodedMessage decoded{};
    ASSERT_TRUE(decodeMessage(vecMessage.data(), vecMessage.size(), decoded));
    EXPECT_STREQ(decoded.pstrSrcAddr, "a:1");
    EXPECT_STREQ(decoded.pstrSource, "src");
    EXPECT_STREQ(decoded.pstrDest, "dst");
    EXPECT_EQ(decoded.nSn, nSn);
    EXPECT_EQ(std::string(decoded.pData, decoded.nSize), std::string("pay\0load", 8));
  }
  std::vector<uint8_t> vecEmpty = message("", "", "x", 5, "");
  DecodedMessage decoded{};
  ASSERT_TRUE(decodeMessage(vecEmpty.data(), vecEmpty.size(), decoded));
  EXPECT_EQ(decoded.nSize, 0u);
}

TEST(MessageCodec, TextsLongerThanAFieldAreCutAndStayTerminated) {
  std::string strLong(100, 'x');
  std::vector<uint8_t> vecMessage = message(strLong, strLong, strLong, 1, "");
  DecodedMessage decoded{};
  ASSERT_TRUE(decodeMessage(vecMessage.data(), vecMessage.size(), decoded));
  EXPECT_EQ(std::string(decoded.pstrSource), std::string(63, 'x'));
  EXPECT_EQ(std::string(decoded.pstrDest), std::string(63, 'x'));
}

TEST(MessageCodec, RefusesWhatIsNotAWholeMessage) {
  std::vector<uint8_t> vecGood = message("addr", "src", "dst", 7, "data");
  DecodedMessage decoded{};
  EXPECT_FALSE(decodeMessage(vecGood.data(), 199, decoded));
  EXPECT_FALSE(decodeMessage(vecGood.data(), 0, decoded));

  std::vector<uint8_t> vecVersion = vecGood;
  vecVersion[199] = 'W';
  EXPECT_FALSE(decodeMessage(vecVersion.data(), vecVersion.size(), decoded));

  // A field that fills its 64 bytes would let a reader run into the next one.
  for (size_t nField : {0u, 64u, 128u}) {
    std::vector<uint8_t> vecOpen = vecGood;
    std::memset(vecOpen.data() + nField, 'z', 64);
    EXPECT_FALSE(decodeMessage(vecOpen.data(), vecOpen.size(), decoded)) << "field at " << nField;
  }
}

TEST(Cfifo, GrowsToPowersOfTwoKeepingTheCollectedBytes) {
  cfifo fifo;
  std::string strFirst(1000, 'a');
  std::string strSecond(3000, 'b');
  fifo.put(strFirst.data(), strFirst.size());
  fifo.put(strSecond.data(), strSecond.size());
  ASSERT_EQ(fifo.size(), 4000u);
  const uint8_t *pData = fifo.terminatedData();
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(pData), 4000), strFirst + strSecond);
  EXPECT_EQ(pData[4000], 0);
  fifo.clear();
  EXPECT_EQ(fifo.size(), 0u);
  fifo.put("xy", 2);
  EXPECT_STREQ(reinterpret_cast<const char *>(fifo.terminatedData()), "xy");
  // Exactly full still leaves room for the zero behind the data.
  cfifo full;
  std::string strKilo(1024, 'k');
  full.put(strKilo.data(), strKilo.size());
  EXPECT_EQ(full.terminatedData()[1024], 0);
}

TEST(TaskAddress, TcpOnlyForADottedIpv4AddressAndPort) {
  EXPECT_EQ(endpointOf("127.0.0.1:6000"), "tcp://127.0.0.1:6000");
  EXPECT_EQ(endpointOf("taskA"), "inproc://taskA");
  EXPECT_EQ(endpointOf("host:6000"), "inproc://host:6000");
  EXPECT_EQ(endpointOf("256.0.0.1:6000"), "inproc://256.0.0.1:6000");
  EXPECT_EQ(endpointOf("1.2.3:6000"), "inproc://1.2.3:6000");
  EXPECT_EQ(endpointOf("1.2.3.4:"), "inproc://1.2.3.4:");
  EXPECT_EQ(endpointOf("1.2.3.4:60x"), "inproc://1.2.3.4:60x");
}

TEST(TaskAddress, ConfiguredAddressesNeedAPortFrom1024) {
  EXPECT_EQ(checkConfiguredAddress("192.168.1.5:1023"), -15);
  EXPECT_EQ(checkConfiguredAddress("192.168.1.5:1024"), 0);
  EXPECT_EQ(checkConfiguredAddress("192.168.1.5:65535"), 0);
  EXPECT_EQ(checkConfiguredAddress("192.168.1.5:65536"), -15);
  EXPECT_EQ(checkConfiguredAddress("192.168.1.500:5000"), -15);
  EXPECT_EQ(checkConfiguredAddress("host:5000"), -15);
  EXPECT_EQ(checkConfiguredAddress("taskB"), 0);
  EXPECT_EQ(checkConfiguredAddress(""), -12);
  EXPECT_EQ(checkConfiguredAddress(std::string(63, 'n')), 0);
  EXPECT_EQ(checkConfiguredAddress(std::string(64, 'n')), -15);
}

} // namespace
} // namespace zt::mq
