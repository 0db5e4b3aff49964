// The TCP stream reader and the UDP datagram reader over buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec/ztip_crc.h"
#include "codec/ztip_frame_builder.h"
#include "codec/ztip_stream_reader.h"
#include "codec/ztip_udp_reader.h"

using namespace zt::ip;

namespace {

struct Delivered {
  ZtipHead head;
  std::vector<uint8_t> data;
};

class CollectingSink : public StreamFrameSink {
public:
  void onHead(const ZtipHead &head) override { m_vecHeads.push_back(head); }
  void onKeyExchangeFrame(const ZtipHead &head, const uint8_t *pPayload) override {
    m_vecKeyFrames.push_back({head, std::vector<uint8_t>(pPayload, pPayload + head.uObjLen)});
  }
  void onFrame(const ZtipHead &head, const uint8_t *pData, uint32_t nDataLen) override {
    m_vecFrames.push_back({head, std::vector<uint8_t>(pData, pData + nDataLen)});
  }
  std::vector<ZtipHead> m_vecHeads;
  std::vector<Delivered> m_vecKeyFrames;
  std::vector<Delivered> m_vecFrames;
};

// A receive buffer fed the way the connection feeds it: copy into recvSpace, then parse.
class StreamReaderTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(recvBufferAlloc(m_buffer)); }
  void TearDown() override { recvBufferFree(m_buffer); }

  void feed(const std::vector<uint8_t> &bytes) {
    size_t nDone = 0;
    while (nDone < bytes.size()) {
      size_t nChunk = std::min(recvRoom(m_buffer), bytes.size() - nDone);
      ASSERT_GT(nChunk, 0u) << "receive buffer full";
      std::memcpy(recvSpace(m_buffer), bytes.data() + nDone, nChunk);
      readStream(m_buffer, nChunk, m_options, m_keys, m_sink);
      nDone += nChunk;
    }
  }

  std::vector<uint8_t> frame(const std::vector<uint8_t> &payload, uint16_t uCmd = 0x2001, uint16_t uMode = 0,
                             const FrameSender &sender = FrameSender{1, 0x11, false, true}) {
    ZTIP_Head_Para para{};
    para.cmd = uCmd;
    para.crypt_mode = uMode;
    std::vector<uint8_t> vec;
    EXPECT_EQ(1, buildFrame(sender, m_keys, para, payload.data(), static_cast<int>(payload.size()), vec));
    return vec;
  }

  static std::vector<uint8_t> payload(size_t nLen, uint8_t uSeed = 1) {
    std::vector<uint8_t> vec(nLen);
    for (size_t i = 0; i < nLen; ++i)
      vec[i] = static_cast<uint8_t>(uSeed + i * 13);
    return vec;
  }

  static std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> vec;
    for (const auto &part : parts)
      vec.insert(vec.end(), part.begin(), part.end());
    return vec;
  }

  ZtipRecvBuffer m_buffer;
  StreamReadOptions m_options;
  ZtipKeys m_keys;
  CollectingSink m_sink;
};

} // namespace

TEST_F(StreamReaderTest, GarbageBeforeFrameAndMarkerSplitAcrossReads) {
  uint64_t uSkippedBefore = skippedByteCount();
  std::vector<uint8_t> garbage = {0xAA, 0x77, 0x7A, 0x00, 0x01, 0xAA, 0xAA, 0x77};
  feed(join({garbage, frame(payload(10))}));
  ASSERT_EQ(1u, m_sink.m_vecFrames.size());
  EXPECT_EQ(payload(10), m_sink.m_vecFrames[0].data);
  EXPECT_EQ(skippedByteCount() - uSkippedBefore, garbage.size());
  EXPECT_EQ(0u, m_buffer.nFill);

  // The marker arrives as AA 77 | 7A A7 ...; more than 32 bytes of garbage first.
  std::vector<uint8_t> bytes = join({std::vector<uint8_t>(40, 0x13), frame(payload(5, 9))});
  size_t nSplit = 40 + 2;
  feed(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(nSplit)));
  EXPECT_EQ(1u, m_sink.m_vecFrames.size());
  EXPECT_LE(m_buffer.nFill, kHeadSize - 1);
  feed(std::vector<uint8_t>(bytes.begin() + static_cast<long>(nSplit), bytes.end()));
  ASSERT_EQ(2u, m_sink.m_vecFrames.size());
  EXPECT_EQ(payload(5, 9), m_sink.m_vecFrames[1].data);
}

TEST_F(StreamReaderTest, FrameSplitAcrossReadsAndTwoFramesInOneRead) {
  std::vector<uint8_t> bytes = frame(payload(300));
  for (size_t nFrom = 0; nFrom < bytes.size(); nFrom += 7) {
    EXPECT_TRUE(m_sink.m_vecFrames.empty());
    size_t nTo = std::min(bytes.size(), nFrom + 7);
    feed(std::vector<uint8_t>(bytes.begin() + static_cast<long>(nFrom),
                              bytes.begin() + static_cast<long>(nTo)));
  }
  ASSERT_EQ(1u, m_sink.m_vecFrames.size());
  EXPECT_EQ(payload(300), m_sink.m_vecFrames[0].data);

  feed(join({frame(payload(20, 1), 0x3001), frame(payload(0), 0x3002), frame(payload(33, 2), 0x3003)}));
  ASSERT_EQ(4u, m_sink.m_vecFrames.size());
  EXPECT_EQ(0x3001, m_sink.m_vecFrames[1].head.uCmd);
  EXPECT_EQ(0x3002, m_sink.m_vecFrames[2].head.uCmd);
  EXPECT_TRUE(m_sink.m_vecFrames[2].data.empty());
  EXPECT_EQ(payload(33, 2), m_sink.m_vecFrames[3].data);
}

TEST_F(StreamReaderTest, HeartbeatsConsumedAsThirtyTwoBytes) {
  uint8_t arrBeat[kHeadSize];
  buildHeartbeatFrame(FrameSender{7, 8, true, true}, 0, arrBeat);
  std::vector<uint8_t> beat(arrBeat, arrBeat + kHeadSize);
  // A heartbeat announcing a payload: the announced bytes are parsed as the next frame.
  std::vector<uint8_t> lyingBeat = beat;
  lyingBeat[27] = 100;
  feed(join({beat, lyingBeat, frame(payload(12)), beat}));
  ASSERT_EQ(1u, m_sink.m_vecFrames.size());
  EXPECT_EQ(payload(12), m_sink.m_vecFrames[0].data);
  ASSERT_EQ(4u, m_sink.m_vecHeads.size());
  EXPECT_EQ(7, m_sink.m_vecHeads[0].uProductType);
  EXPECT_EQ(8, m_sink.m_vecHeads[0].uSubType);
  EXPECT_EQ(0u, m_buffer.nFill);
}

TEST_F(StreamReaderTest, BufferGrowsFiveFoldForLargeFrame) {
  std::vector<uint8_t> big = payload(kRecvBufferInitialSize + 1000);
  feed(frame(big));
  ASSERT_EQ(1u, m_sink.m_vecFrames.size());
  EXPECT_EQ(big, m_sink.m_vecFrames[0].data);
  EXPECT_EQ(kRecvBufferInitialSize * 5, m_buffer.nSize);

  // The largest frame a sender makes needs two more growths and still arrives whole.
  std::vector<uint8_t> biggest = payload(kMaxSendPayload);
  feed(frame(biggest));
  ASSERT_EQ(2u, m_sink.m_vecFrames.size());
  EXPECT_EQ(biggest, m_sink.m_vecFrames[1].data);
  EXPECT_EQ(kRecvBufferInitialSize * 125, m_buffer.nSize);
}

TEST_F(StreamReaderTest, CorruptFramesDropped) {
  std::vector<uint8_t> bad = frame(payload(40));
  bad[kHeadSize + 5] ^= 0x01;
  feed(join({bad, frame(payload(4))}));
  ASSERT_EQ(1u, m_sink.m_vecFrames.size());
  EXPECT_EQ(payload(4), m_sink.m_vecFrames[0].data);

  // A head announcing more than any sender produces: everything buffered is dropped, no
  // allocation follows, and the stream resynchronises on the next frame.
  std::vector<uint8_t> huge = frame(payload(0));
  huge[24] = 0xFF;
  feed(join({huge, payload(50)}));
  EXPECT_EQ(kRecvBufferInitialSize, m_buffer.nSize);
  EXPECT_EQ(0u, m_buffer.nFill);
  feed(frame(payload(6)));
  ASSERT_EQ(2u, m_sink.m_vecFrames.size());

  // Padding longer than the payload can never be delivered.
  std::vector<uint8_t> overPadded = frame(payload(3));
  overPadded[7] = 0x85;
  feed(overPadded);
  EXPECT_EQ(2u, m_sink.m_vecFrames.size());
}

TEST_F(StreamReaderTest, ReleaseModeDecryptsAndRemovesPadding) {
  uint8_t arrMaterial[kMaterialSize];
  generateKeyMaterial(arrMaterial);
  agreeSessionKeys(m_keys, arrMaterial);
  FrameSender release{1, 0x11, true, true};
  for (uint16_t uMode : {0x0101, 0x0102, 0x0111, 0x0121, 0x0300, 0x0303, 0x030F, 0x8000})
    feed(frame(payload(13, static_cast<uint8_t>(uMode)), 0x2001, uMode, release));
  feed(frame(payload(200), 0x2001, 0x0121, release));
  ASSERT_EQ(9u, m_sink.m_vecFrames.size());
  for (size_t i = 0; i < 8; ++i)
    EXPECT_EQ(13u, m_sink.m_vecFrames[i].data.size()) << i;
  EXPECT_EQ(payload(13, 0x01), m_sink.m_vecFrames[0].data);
  EXPECT_EQ(payload(13, 0x0F), m_sink.m_vecFrames[6].data);
  EXPECT_EQ(payload(200), m_sink.m_vecFrames[8].data);

  // Without keys the encrypted frame fails decryption and is dropped.
  std::vector<uint8_t> encrypted = frame(payload(16), 0x2001, 0x0101, release);
  m_keys = ZtipKeys{};
  feed(encrypted);
  EXPECT_EQ(9u, m_sink.m_vecFrames.size());

  // Padding bits without the encryption mark are refused in release mode.
  std::vector<uint8_t> plain = frame(payload(8));
  plain[7] = 0x02;
  feed(plain);
  EXPECT_EQ(9u, m_sink.m_vecFrames.size());
}

TEST_F(StreamReaderTest, KeyExchangeFramesRoutedUncheckedUnlessCompleteLog) {
  std::vector<uint8_t> keyFrame = frame(payload(32), 0x0606);
  keyFrame[kHeadSize] ^= 0xFF; // a wrong CRC does not matter to the hand-over
  feed(join({keyFrame, frame(payload(32), 0x0607)}));
  ASSERT_EQ(2u, m_sink.m_vecKeyFrames.size());
  EXPECT_EQ(0x0606, m_sink.m_vecKeyFrames[0].head.uCmd);
  EXPECT_EQ(payload(32), m_sink.m_vecKeyFrames[1].data);
  EXPECT_TRUE(m_sink.m_vecFrames.empty());

  m_options.bCompleteLog = true;
  feed(join({keyFrame, frame(payload(32), 0x0607)}));
  EXPECT_EQ(2u, m_sink.m_vecKeyFrames.size());
  ASSERT_EQ(1u, m_sink.m_vecFrames.size());
  EXPECT_EQ(0x0607, m_sink.m_vecFrames[0].head.uCmd);
}

TEST(UdpReader, LengthMarkerAndCheckSum) {
  std::vector<uint8_t> data(100, 0x42), frame;
  ZTIP_Head_Para para{};
  para.cmd = 0x5001;
  ASSERT_EQ(1, buildFrame(FrameSender{2, 3, true, false}, ZtipKeys{}, para, data.data(), 100, frame));
  ZtipHead head;
  ASSERT_EQ(UdpReadResult::Ok, readDatagram(frame.data(), frame.size(), "127.0.0.1", "9000", head));
  EXPECT_EQ(0x5001, head.uCmd);
  EXPECT_EQ(2, head.uProductType);
  EXPECT_EQ(100u, head.uObjLen);

  EXPECT_EQ(UdpReadResult::LengthError, readDatagram(frame.data(), frame.size() - 1, "h", "p", head));
  std::vector<uint8_t> longer = frame;
  longer.push_back(0);
  EXPECT_EQ(UdpReadResult::LengthError, readDatagram(longer.data(), longer.size(), "h", "p", head));
  EXPECT_EQ(UdpReadResult::HeadError, readDatagram(frame.data(), 31, "h", "p", head));
  std::vector<uint8_t> badMarker = frame;
  badMarker[3] = 0xA6;
  EXPECT_EQ(UdpReadResult::HeadError, readDatagram(badMarker.data(), badMarker.size(), "h", "p", head));
  std::vector<uint8_t> badCrc = frame;
  badCrc[50] ^= 0x10;
  EXPECT_EQ(UdpReadResult::CheckSumError, readDatagram(badCrc.data(), badCrc.size(), "h", "p", head));

  std::vector<uint8_t> empty;
  ASSERT_EQ(1, buildFrame(FrameSender{2, 3, true, false}, ZtipKeys{}, para, nullptr, 0, empty));
  EXPECT_EQ(UdpReadResult::Ok, readDatagram(empty.data(), empty.size(), "h", "p", head));
}
