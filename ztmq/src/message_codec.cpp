#include "message_codec.h"

#include <cstring>

namespace zt::mq {

namespace {

constexpr size_t kSrcAddrOffset = 0;
constexpr size_t kSourceOffset = 64;
constexpr size_t kDestOffset = 128;
constexpr size_t kSnOffset = 192;
constexpr size_t kVersionOffset = 196;
constexpr uint8_t kVersionMark[4] = {0x30, 0x2E, 0x31, 0x56}; // "0.1V"

void putText(uint8_t *pField, const std::string &strText) {
  std::memcpy(pField, strText.data(), strText.size() < kMaxIdLength ? strText.size() : kMaxIdLength);
}

bool terminated(const uint8_t *pField) {
  return std::memchr(pField, 0, kFieldSize) != nullptr;
}

} // namespace

void encodeHeader(uint8_t *pHeader, const std::string &strSrcAddr, const std::string &strSource,
                  const std::string &strDest, int32_t nSn) {
  std::memset(pHeader, 0, kHeaderSize);
  putText(pHeader + kSrcAddrOffset, strSrcAddr);
  putText(pHeader + kSourceOffset, strSource);
  putText(pHeader + kDestOffset, strDest);
  uint32_t uSn = static_cast<uint32_t>(nSn);
  for (size_t i = 0; i < 4; ++i) {
    pHeader[kSnOffset + i] = static_cast<uint8_t>(uSn >> (8 * i));
  }
  std::memcpy(pHeader + kVersionOffset, kVersionMark, sizeof kVersionMark);
}

bool decodeMessage(const uint8_t *pMessage, size_t nLength, DecodedMessage &message) {
  if (nLength < kHeaderSize || std::memcmp(pMessage + kVersionOffset, kVersionMark, sizeof kVersionMark) != 0 ||
      !terminated(pMessage + kSrcAddrOffset) || !terminated(pMessage + kSourceOffset) ||
      !terminated(pMessage + kDestOffset)) {
    return false;
  }
  uint32_t uSn = 0;
  for (size_t i = 0; i < 4; ++i) {
    uSn |= uint32_t(pMessage[kSnOffset + i]) << (8 * i);
  }
  message.pstrSrcAddr = reinterpret_cast<const char *>(pMessage + kSrcAddrOffset);
  message.pstrSource = reinterpret_cast<const char *>(pMessage + kSourceOffset);
  message.pstrDest = reinterpret_cast<const char *>(pMessage + kDestOffset);
  message.nSn = static_cast<int32_t>(uSn);
  message.pData = reinterpret_cast<const char *>(pMessage + kHeaderSize);
  message.nSize = nLength - kHeaderSize;
  return true;
}

} // namespace zt::mq
