// Arbitrary received messages through the decoder; every text of an accepted message is read to
// its end and its payload in full, and the decoded fields must lie inside the message.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "message_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
  // An exact-size copy, so that reading past the message is caught (no zero behind it either).
  std::vector<uint8_t> vecMessage(pData, pData + nSize);
  zt::mq::DecodedMessage message{};
  if (!zt::mq::decodeMessage(vecMessage.data(), vecMessage.size(), message)) {
    return 0;
  }
  const char *pBegin = reinterpret_cast<const char *>(vecMessage.data());
  for (const char *pstrText : {message.pstrSrcAddr, message.pstrSource, message.pstrDest}) {
    if (std::strlen(pstrText) > zt::mq::kMaxIdLength || pstrText < pBegin || pstrText >= pBegin + zt::mq::kHeaderSize) {
      std::abort();
    }
  }
  if (message.pData != pBegin + zt::mq::kHeaderSize || message.nSize != nSize - zt::mq::kHeaderSize) {
    std::abort();
  }
  volatile uint8_t uSum = 0;
  for (size_t i = 0; i < message.nSize; ++i) {
    uSum = uint8_t(uSum + uint8_t(message.pData[i]));
  }
  return 0;
}
