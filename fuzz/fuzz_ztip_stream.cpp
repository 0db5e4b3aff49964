// Feeds arbitrary bytes to the TCP stream reader in arbitrary recv sizes, with and without
// session keys. In the second half of the input space the bytes are first turned into
// well-formed frames in every crypt mode, and each delivered payload must equal what was sent.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/ztip_frame_builder.h"
#include "codec/ztip_stream_reader.h"

using namespace zt::ip;

namespace {

constexpr uint16_t kModes[] = {0x0000, 0x0101, 0x0102, 0x0111, 0x011F, 0x0121,
                               0x012F, 0x0300, 0x0301, 0x0307, 0x030F, 0x8000};

class CheckingSink : public StreamFrameSink {
public:
  void onHead(const ZtipHead &) override {}
  void onKeyExchangeFrame(const ZtipHead &head, const uint8_t *pPayload) override {
    touch(pPayload, head.uObjLen);
  }
  void onFrame(const ZtipHead &, const uint8_t *pData, uint32_t nDataLen) override {
    touch(pData, nDataLen);
    if (m_pExpected == nullptr)
      return;
    if (m_nNext >= m_pExpected->size() ||
        (*m_pExpected)[m_nNext] != std::vector<uint8_t>(pData, pData + nDataLen))
      std::abort();
    ++m_nNext;
  }
  const std::vector<std::vector<uint8_t>> *m_pExpected = nullptr;
  size_t m_nNext = 0;

private:
  void touch(const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; ++i)
      m_uSum += p[i];
  }
  volatile uint64_t m_uSum = 0;
};

void feed(ZtipRecvBuffer &buffer, const uint8_t *pData, size_t nLen, size_t nChunk,
          const StreamReadOptions &options, const ZtipKeys &keys, StreamFrameSink &sink) {
  size_t nDone = 0;
  while (nDone < nLen) {
    size_t nStep = std::min<size_t>({nChunk, nLen - nDone, recvRoom(buffer)});
    if (nStep == 0)
      std::abort(); // the reader must always leave room for the next recv
    std::memcpy(recvSpace(buffer), pData + nDone, nStep);
    readStream(buffer, nStep, options, keys, sink);
    nDone += nStep;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
  if (nSize < 2 + kMaterialSize)
    return 0;
  uint8_t uFlags = pData[0];
  size_t nChunk = 1 + pData[1] * 37u;
  StreamReadOptions options;
  options.bDebugMode = (uFlags & 0x01) != 0;
  options.bCompleteLog = (uFlags & 0x02) != 0;
  ZtipKeys keys;
  if ((uFlags & 0x04) != 0)
    agreeSessionKeys(keys, pData + 2); // any 32 bytes, as a hostile peer could make them
  pData += 2 + kMaterialSize;
  nSize -= 2 + kMaterialSize;

  ZtipRecvBuffer buffer;
  if (!recvBufferAlloc(buffer))
    return 0;
  CheckingSink sink;
  if ((uFlags & 0x80) == 0) {
    feed(buffer, pData, nSize, nChunk, options, keys, sink);
  } else {
    // Frames of the sizes and modes the input chooses, sent and received with the same keys.
    agreeSessionKeys(keys, pData - kMaterialSize);
    options.bDebugMode = false;
    FrameSender sender{1, 0x11, true, true};
    std::vector<uint8_t> vecStream, vecFrame;
    std::vector<std::vector<uint8_t>> vecExpected;
    size_t nPos = 0;
    while (nPos + 2 <= nSize) {
      ZTIP_Head_Para para{};
      para.cmd = 0x1000;
      para.crypt_mode = kModes[pData[nPos] % (sizeof(kModes) / sizeof(kModes[0]))];
      size_t nLen = std::min<size_t>(pData[nPos + 1], nSize - nPos - 2);
      const uint8_t *pPayload = pData + nPos + 2;
      if (buildFrame(sender, keys, para, pPayload, static_cast<int>(nLen), vecFrame) != 1)
        std::abort();
      vecStream.insert(vecStream.end(), vecFrame.begin(), vecFrame.end());
      vecExpected.emplace_back(pPayload, pPayload + nLen);
      nPos += 2 + nLen;
    }
    sink.m_pExpected = &vecExpected;
    feed(buffer, vecStream.data(), vecStream.size(), nChunk, options, keys, sink);
    if (sink.m_nNext != vecExpected.size())
      std::abort();
  }
  recvBufferFree(buffer);
  return 0;
}
