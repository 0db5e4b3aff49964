#include "message_head.h"

#include <climits>
#include <cstring>

#include "busline_log.h"

namespace zt::bus {

namespace {

constexpr size_t kOffSN = 4;
constexpr size_t kOffType = 8;
constexpr size_t kOffTopicLen = 12;
constexpr size_t kOffTopicOff = 16;
constexpr size_t kOffBodyLen = 20;
constexpr size_t kOffBodyOff = 24;
constexpr size_t kOffChecksum = 28;
constexpr size_t kOffMarker = 32;
constexpr size_t kOffIpLen = 40;
constexpr size_t kOffIpOff = 44;
// Shorter payloads are never heads: they cannot hold the words up to the body checksum.
constexpr int kMinHeadPayload = 40;

uint32_t readWord(const uint8_t *pData, size_t nOffset) {
  const uint8_t *p = pData + nOffset;
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void writeWord(uint8_t *pData, size_t nOffset, uint32_t uValue) {
  uint8_t *p = pData + nOffset;
  p[0] = uint8_t(uValue >> 24);
  p[1] = uint8_t(uValue >> 16);
  p[2] = uint8_t(uValue >> 8);
  p[3] = uint8_t(uValue);
}

// A zero-terminated text at (offset, length) inside the payload, or null.
const char *textInside(const uint8_t *pData, size_t nPayloadLen, uint32_t uOffset, uint32_t uLen) {
  if (uOffset == 0 || uLen == 0 || uint64_t(uOffset) + uLen > nPayloadLen) {
    return nullptr;
  }
  if (std::memchr(pData + uOffset, 0, uLen) == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<const char *>(pData + uOffset);
}

} // namespace

uint32_t bodyChecksum(const uint8_t *pData, size_t nLen) {
  static constexpr uint32_t kTable[16] = {0x0000, 0x1021, 0x2042, 0x3063, 0x4084, 0x50A5, 0x60C6, 0x70E7,
                                          0x8108, 0x9129, 0xA14A, 0xB16B, 0xC18C, 0xD1AD, 0xE1CE, 0xF1EF};
  uint32_t uReg = 0;
  for (size_t i = 0; i < nLen; ++i) {
    uint8_t b = pData[i];
    uReg = (uReg << 4) ^ kTable[((uReg >> 12) & 0xF) ^ (b >> 4)];
    uReg = (uReg << 4) ^ kTable[((uReg >> 12) & 0xF) ^ (b & 0xF)];
  }
  return uReg;
}

bool genBuslineMessage(uint32_t uSN, int32_t nType, const void *pBody, int nBodyLen,
                       const char *pstrResponseTopic, const std::string &strIpList, HeadMessage &message) {
  std::free(message.m_pData);
  message.m_pData = nullptr;
  message.m_nSize = 0;
  if (pBody == nullptr || nBodyLen <= 0) {
    return true;
  }
  size_t nIpLen = strIpList.empty() ? 0 : strIpList.size() + 1;
  size_t nTopicLen = pstrResponseTopic == nullptr ? 0 : std::strlen(pstrResponseTopic) + 1;
  size_t nTotal = kHeadSize + nIpLen + nTopicLen + size_t(nBodyLen);
  if (nTotal > size_t(INT_MAX)) {
    return false;
  }
  auto *pData = static_cast<uint8_t *>(std::calloc(nTotal, 1));
  if (pData == nullptr) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "busline,genBuslineMessage2 calloc fail");
    return false;
  }
  size_t nTopicOffset = kHeadSize + nIpLen;
  size_t nBodyOffset = nTopicOffset + nTopicLen;
  const auto *pBodyBytes = static_cast<const uint8_t *>(pBody);
  writeWord(pData, 0, kHeadMagic);
  writeWord(pData, kOffSN, uSN);
  writeWord(pData, kOffType, uint32_t(nType));
  writeWord(pData, kOffTopicLen, uint32_t(nTopicLen));
  writeWord(pData, kOffTopicOff, nTopicLen != 0 ? uint32_t(nTopicOffset) : 0);
  writeWord(pData, kOffBodyLen, uint32_t(nBodyLen));
  writeWord(pData, kOffBodyOff, uint32_t(nBodyOffset));
  writeWord(pData, kOffChecksum, bodyChecksum(pBodyBytes, size_t(nBodyLen)));
  writeWord(pData, kOffMarker, kHeadExtensionMarker);
  writeWord(pData, kOffIpLen, uint32_t(nIpLen));
  writeWord(pData, kOffIpOff, nIpLen != 0 ? uint32_t(kHeadSize) : 0);
  if (nIpLen != 0) {
    std::memcpy(pData + kHeadSize, strIpList.c_str(), nIpLen);
  }
  if (nTopicLen != 0) {
    std::memcpy(pData + nTopicOffset, pstrResponseTopic, nTopicLen);
  }
  std::memcpy(pData + nBodyOffset, pBodyBytes, size_t(nBodyLen));
  message.m_pData = pData;
  message.m_nSize = int(nTotal);
  return true;
}

bool isBuslineMessage(const void *pPayload, int nPayloadLen) {
  if (pPayload == nullptr || nPayloadLen <= kMinHeadPayload) {
    return false;
  }
  const auto *pData = static_cast<const uint8_t *>(pPayload);
  if (readWord(pData, 0) != kHeadMagic) {
    return false;
  }
  uint64_t uBodyLen = readWord(pData, kOffBodyLen);
  uint64_t uBodyOffset = readWord(pData, kOffBodyOff);
  if (uBodyOffset + uBodyLen > uint64_t(nPayloadLen)) {
    return false;
  }
  return bodyChecksum(pData + uBodyOffset, size_t(uBodyLen)) == readWord(pData, kOffChecksum);
}

bool getBuslineMessage(const void *pPayload, int nPayloadLen, HeadView &view) {
  if (pPayload == nullptr || nPayloadLen <= kMinHeadPayload) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "busline,getBuslineMessage2 pPayload=%p,nPayloadLen=%d", pPayload,
                nPayloadLen);
    return false;
  }
  const auto *pData = static_cast<const uint8_t *>(pPayload);
  size_t nLen = size_t(nPayloadLen);
  view = HeadView{};
  view.uSN = readWord(pData, kOffSN);
  view.nType = int32_t(readWord(pData, kOffType));
  uint32_t uBodyLen = readWord(pData, kOffBodyLen);
  uint32_t uBodyOffset = readWord(pData, kOffBodyOff);
  view.nBodyLen = int(uBodyLen);
  view.pBody = (uBodyLen != 0 && uBodyOffset != 0) ? pData + uBodyOffset : pData;
  view.pstrResponseTopic =
      textInside(pData, nLen, readWord(pData, kOffTopicOff), readWord(pData, kOffTopicLen));
  // Older writers have no extension; a payload too short for the IP list words has none either.
  if (readWord(pData, kOffMarker) == kHeadExtensionMarker && nLen >= kHeadSize) {
    view.pstrIpList = textInside(pData, nLen, readWord(pData, kOffIpOff), readWord(pData, kOffIpLen));
  }
  return true;
}

} // namespace zt::bus
