// Check sum, head layout and frame building.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec/ztip_crc.h"
#include "codec/ztip_frame_builder.h"
#include "codec/ztip_result.h"

using namespace zt::ip;

namespace {

ZTIP_Head_Para appPara(uint16_t uCryptMode, uint16_t uCmd = 0x1234) {
  ZTIP_Head_Para para{};
  para.crypt_mode = uCryptMode;
  para.protocol_type = 0x21;
  para.func_code = 0x43;
  para.cmd = uCmd;
  para.status = 0x6587;
  para.producttype = 0x99; // never used on sending
  para.unit_id = 0x0A0B0C0D;
  para.session_id = 0x01020304;
  return para;
}

ZtipKeys agreedKeys() {
  ZtipKeys keys;
  uint8_t arrMaterial[kMaterialSize];
  generateKeyMaterial(arrMaterial);
  agreeSessionKeys(keys, arrMaterial);
  return keys;
}

const FrameSender kReleaseTcp{0x01, 0x11, true, true};

// The check sum as defined: the polynomial applied one bit at a time.
uint16_t crcBitwise(const uint8_t *pData, size_t nLen) {
  uint16_t uCrc = 0;
  for (size_t i = 0; i < nLen; ++i) {
    uCrc ^= static_cast<uint16_t>(pData[i] << 8);
    for (int nBit = 0; nBit < 8; ++nBit)
      uCrc = static_cast<uint16_t>((uCrc & 0x8000) ? (uCrc << 1) ^ 0x1021 : uCrc << 1);
  }
  return uCrc;
}

} // namespace

TEST(Crc16Xmodem, CheckValuesAndBitwiseDefinition) {
  EXPECT_EQ(0x31C3, crc16Xmodem(reinterpret_cast<const uint8_t *>("123456789"), 9));
  EXPECT_EQ(0x9DD6, crc16Xmodem(reinterpret_cast<const uint8_t *>("abc"), 3));
  EXPECT_EQ(0x0000, crc16Xmodem(nullptr, 0));

  // Every length and alignment against the polynomial applied one bit at a time.
  std::vector<uint8_t> data(300);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>((i * 151 + 17) ^ (i >> 3));
  for (size_t nOffset = 0; nOffset < 8; ++nOffset)
    for (size_t nLen = 0; nOffset + nLen <= data.size(); nLen += 1 + nLen / 16)
      ASSERT_EQ(crcBitwise(data.data() + nOffset, nLen), crc16Xmodem(data.data() + nOffset, nLen))
          << nOffset << "/" << nLen;
}

// Every way the CPU offers against the definition: every length up to several of the 64- and
// 128-byte strides the folding works in, longer ones with their remainders, at every
// alignment, up to frame sizes. Ways this CPU lacks are not run.
TEST(Crc16Xmodem, EveryWayMatchesDefinitionAtAllLengthsAndAlignments) {
  std::vector<uint8_t> data(70000);
  uint32_t uState = 12345;
  for (uint8_t &uByte : data) {
    uState = uState * 1103515245 + 12345;
    uByte = static_cast<uint8_t>(uState >> 23);
  }
  std::vector<size_t> vecLengths;
  for (size_t nLen = 0; nLen <= 600; ++nLen)
    vecLengths.push_back(nLen);
  for (size_t nLen = 601; nLen <= 5000; nLen += 1 + nLen / 50)
    vecLengths.push_back(nLen);
  for (size_t nLen : {65535, 65536, 65536 + 63, 65536 + 127, 69983})
    vecLengths.push_back(nLen);
  std::vector<CrcWay> vecWays;
  for (CrcWay eWay : {CrcWay::Tables, CrcWay::Clmul, CrcWay::WideClmul})
    if (crc16XmodemCanUse(eWay))
      vecWays.push_back(eWay);
  EXPECT_TRUE(crc16XmodemCanUse(CrcWay::Tables));
  for (size_t nOffset = 0; nOffset < 16; ++nOffset) {
    for (size_t nLen : vecLengths) {
      const uint8_t *p = data.data() + nOffset;
      uint16_t uExpected = crcBitwise(p, nLen);
      ASSERT_EQ(uExpected, crc16Xmodem(p, nLen)) << nOffset << "/" << nLen;
      for (CrcWay eWay : vecWays)
        ASSERT_EQ(uExpected, crc16XmodemBy(eWay, p, nLen))
            << static_cast<int>(eWay) << ":" << nOffset << "/" << nLen;
    }
  }
  // All-ones blocks set every bit the folding multiplies.
  std::vector<uint8_t> ones(4096, 0xFF);
  for (CrcWay eWay : vecWays)
    EXPECT_EQ(crcBitwise(ones.data(), ones.size()), crc16XmodemBy(eWay, ones.data(), ones.size()));
}

TEST(FrameHead, WireLayoutBigEndianAndRoundTrip) {
  ZtipHead head;
  head.uProductType = 0x01;
  head.uSubType = 0x11;
  head.uPadFlag = 0x83;
  head.uCryptMode = 0x0101;
  head.uStatus = 0x4F4B;
  head.uSessionId = 0x11223344;
  head.uUnitId = 0x55667788;
  head.uProtocolType = 0x80;
  head.uFuncCode = 0x41;
  head.uCmd = 0x0706;
  head.uObjLen = 0x00012345;
  head.uCheckSum = 0xBEEF;
  uint8_t arrWire[kHeadSize];
  std::memset(arrWire, 0xCC, sizeof(arrWire));
  encodeHead(head, arrWire);
  const uint8_t arrExpected[kHeadSize] = {0xAA, 0x77, 0x7A, 0xA7, 0x01, 0x11, 0x00, 0x83, 0x01, 0x01, 0x4F,
                                          0x4B, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x80, 0x41,
                                          0x07, 0x06, 0x00, 0x01, 0x23, 0x45, 0xBE, 0xEF, 0x00, 0x00};
  EXPECT_EQ(0, std::memcmp(arrExpected, arrWire, kHeadSize));
  EXPECT_TRUE(hasStartMarker(arrWire));

  ZtipHead back = decodeHead(arrWire);
  EXPECT_EQ(0, std::memcmp(&head, &back, sizeof(head)));
  ZTIP_Head_Para para = headToPara(back);
  EXPECT_EQ(0x0101, para.crypt_mode);
  EXPECT_EQ(0x80, para.protocol_type);
  EXPECT_EQ(0x41, para.func_code);
  EXPECT_EQ(0x0706, para.cmd);
  EXPECT_EQ(0x4F4B, para.status);
  EXPECT_EQ(0x01, para.producttype);
  EXPECT_EQ(0x55667788u, para.unit_id);
  EXPECT_EQ(0x11223344u, para.session_id);
}

TEST(BuildFrame, PlainFramesChecksumsAndSenderCodes) {
  std::vector<uint8_t> frame;
  ZtipKeys none;
  FrameSender debugTcp{0x05, 0x06, false, true};
  ASSERT_EQ(kResultOk,
            buildFrame(debugTcp, none, appPara(0x0101), reinterpret_cast<const uint8_t *>("abc"), 3, frame));
  ASSERT_EQ(kHeadSize + 3, frame.size());
  ZtipHead head = decodeHead(frame.data());
  EXPECT_EQ(0x9DD6, head.uCheckSum);
  EXPECT_EQ(3u, head.uObjLen);
  EXPECT_EQ(0, head.uPadFlag);
  EXPECT_EQ(0x0101, head.uCryptMode); // carried, but debug mode sends plain
  EXPECT_EQ(0x05, head.uProductType);
  EXPECT_EQ(0x06, head.uSubType);
  EXPECT_EQ(0x1234, head.uCmd);
  EXPECT_EQ(0x6587, head.uStatus);
  EXPECT_EQ(0x0A0B0C0Du, head.uUnitId);
  EXPECT_EQ(0x01020304u, head.uSessionId);
  EXPECT_EQ(0, std::memcmp(frame.data() + kHeadSize, "abc", 3));

  ASSERT_EQ(kResultOk, buildFrame(debugTcp, none, appPara(0), nullptr, 0, frame));
  EXPECT_EQ(kHeadSize, frame.size());
  EXPECT_EQ(0, decodeHead(frame.data()).uCheckSum);
  EXPECT_EQ(0u, decodeHead(frame.data()).uObjLen);

  EXPECT_EQ(kResultFailed, buildFrame(debugTcp, none, appPara(0), nullptr, 5, frame));
  EXPECT_EQ(kResultFailed, buildFrame(debugTcp, none, appPara(0), frame.data(), -1, frame));
}

TEST(BuildFrame, LimitsAndKeyGate) {
  std::vector<uint8_t> frame, big(kMaxSendPayload + 1, 0x5A);
  ZtipKeys none, keys = agreedKeys();
  EXPECT_EQ(kResultOk,
            buildFrame(kReleaseTcp, keys, appPara(0), big.data(), static_cast<int>(kMaxSendPayload), frame));
  EXPECT_EQ(kResultPayloadTooLong, buildFrame(kReleaseTcp, keys, appPara(0), big.data(),
                                              static_cast<int>(kMaxSendPayload + 1), frame));

  FrameSender releaseUdp{1, 2, true, false};
  EXPECT_EQ(kResultOk, buildFrame(releaseUdp, none, appPara(0x8000), big.data(), 8192 - 32, frame));
  EXPECT_EQ(8192u, frame.size());
  EXPECT_EQ(0, decodeHead(frame.data()).uCryptMode); // automatic without keys: plain
  EXPECT_EQ(kResultUdpTooLong, buildFrame(releaseUdp, none, appPara(0), big.data(), 8193 - 32, frame));

  // Release TCP without agreed keys: only the key exchange goes out.
  EXPECT_EQ(kResultKeyNotReady, buildFrame(kReleaseTcp, none, appPara(0), big.data(), 10, frame));
  ZtipKeys running;
  running.mKmState = kKmAgreed; // DES key state still missing
  EXPECT_EQ(kResultKeyNotReady, buildFrame(kReleaseTcp, running, appPara(0), big.data(), 10, frame));
  EXPECT_EQ(kResultOk, buildFrame(kReleaseTcp, none, keyExchangePara(0x0606, 0), big.data(), 32, frame));
  ZtipHead head = decodeHead(frame.data());
  EXPECT_EQ(0x0606, head.uCmd);
  EXPECT_EQ(0x80, head.uProtocolType);
  EXPECT_EQ(0x10, head.uFuncCode);
  EXPECT_EQ(0, head.uCryptMode);
  EXPECT_EQ(0, head.uPadFlag);
  EXPECT_EQ(crc16Xmodem(big.data(), 32), head.uCheckSum);

  // Encryption failures come back as their codes.
  EXPECT_EQ(kResultCryptMode, buildFrame(kReleaseTcp, keys, appPara(0x0310), big.data(), 10, frame));
}

TEST(BuildFrame, EncryptedPayloadPaddingAndCheckSum) {
  ZtipKeys keys = agreedKeys();
  std::vector<uint8_t> frame, data(13);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i + 1);

  ASSERT_EQ(kResultOk, buildFrame(kReleaseTcp, keys, appPara(0x0101), data.data(), 13, frame));
  ZtipHead head = decodeHead(frame.data());
  EXPECT_EQ(16u, head.uObjLen);
  EXPECT_EQ(0x83, head.uPadFlag);
  ASSERT_EQ(kHeadSize + 16, frame.size());
  EXPECT_EQ(crc16Xmodem(frame.data() + kHeadSize, 16), head.uCheckSum);
  std::vector<uint8_t> expected = data;
  expected.resize(16, 0);
  DesRun(expected.data(), keys.mDesKey, 1, 16, expected.data());
  EXPECT_EQ(0, std::memcmp(expected.data(), frame.data() + kHeadSize, 16));

  // 0x8000 with keys in place becomes DES; the random family keeps the length.
  ASSERT_EQ(kResultOk, buildFrame(kReleaseTcp, keys, appPara(0x8000), data.data(), 13, frame));
  EXPECT_EQ(0x0101, decodeHead(frame.data()).uCryptMode);
  ASSERT_EQ(kResultOk, buildFrame(kReleaseTcp, keys, appPara(0x030F), data.data(), 13, frame));
  head = decodeHead(frame.data());
  EXPECT_EQ(13u, head.uObjLen);
  EXPECT_EQ(0x80, head.uPadFlag);
  EXPECT_NE(0, std::memcmp(data.data(), frame.data() + kHeadSize, 13));

  // A whole multiple of 8 is not padded, but still marked encrypted.
  ASSERT_EQ(kResultOk, buildFrame(kReleaseTcp, keys, appPara(0x0121), data.data(), 8, frame));
  EXPECT_EQ(0x80, decodeHead(frame.data()).uPadFlag);
  EXPECT_EQ(8u, decodeHead(frame.data()).uObjLen);
}

// A sender keeps one frame vector per connection: a frame built over an earlier, larger one
// (stale bytes where the new padding goes) is byte for byte the frame built afresh.
TEST(BuildFrame, ReusedFrameStorageGivesSameBytes) {
  ZtipKeys keys = agreedKeys();
  std::vector<uint8_t> data(5000);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i * 13 + 7);
  std::vector<uint8_t> reused(kHeadSize + 6000, 0xEE);
  const FrameSender releaseUdp{0x01, 0x11, true, false};
  struct Case {
    FrameSender sender;
    uint16_t uCryptMode;
    int nLen;
  };
  for (const Case &c :
       {Case{kReleaseTcp, 0x030F, 5000}, Case{kReleaseTcp, 0x0101, 13}, Case{kReleaseTcp, 0x0300, 300},
        Case{kReleaseTcp, 0x0112, 1001}, Case{kReleaseTcp, 0x0102, 4093}, Case{kReleaseTcp, 0x0121, 5},
        Case{releaseUdp, 0, 40}, Case{kReleaseTcp, 0x0303, 0}}) {
    std::vector<uint8_t> fresh;
    ASSERT_EQ(kResultOk, buildFrame(c.sender, keys, appPara(c.uCryptMode), data.data(), c.nLen, fresh));
    ASSERT_EQ(kResultOk, buildFrame(c.sender, keys, appPara(c.uCryptMode), data.data(), c.nLen, reused));
    EXPECT_EQ(fresh, reused) << std::hex << c.uCryptMode << std::dec << "/" << c.nLen;
  }
  // The DES padding is zero whatever the storage held before.
  std::fill(reused.begin(), reused.end(), 0xEE);
  ASSERT_EQ(kResultOk, buildFrame(kReleaseTcp, keys, appPara(0x0101), data.data(), 13, reused));
  DesRun(reused.data() + kHeadSize, keys.mDesKey, 0, 16, reused.data() + kHeadSize);
  EXPECT_EQ(std::vector<uint8_t>(3, 0), std::vector<uint8_t>(reused.begin() + kHeadSize + 13, reused.end()));
}

TEST(BuildFrame, HeartbeatAndAssembledFrames) {
  uint8_t arrBeat[kHeadSize];
  buildHeartbeatFrame(kReleaseTcp, 0xCAFEBABE, arrBeat);
  ZtipHead head = decodeHead(arrBeat);
  EXPECT_EQ(kStartMarker, head.uStartMarker);
  EXPECT_EQ(0x01, head.uProductType);
  EXPECT_EQ(0x11, head.uSubType);
  EXPECT_EQ(0x00001235u, head.uSessionId);
  EXPECT_EQ(0xCAFEBABEu, head.uUnitId);
  EXPECT_EQ(0x80, head.uProtocolType);
  EXPECT_EQ(0x41, head.uFuncCode);
  EXPECT_EQ(0x0706, head.uCmd);
  EXPECT_EQ(0u, head.uObjLen);
  EXPECT_EQ(0, head.uCheckSum);
  EXPECT_EQ(0, head.uCryptMode);

  std::vector<uint8_t> frame;
  assembleFrame(kReleaseTcp, appPara(0x8000), 0, reinterpret_cast<const uint8_t *>("abc"), 3, frame);
  head = decodeHead(frame.data());
  EXPECT_EQ(0x8000, head.uCryptMode);
  EXPECT_EQ(0x9DD6, head.uCheckSum);
  EXPECT_EQ(0, std::memcmp(frame.data() + kHeadSize, "abc", 3));
}
