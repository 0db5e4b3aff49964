#include "codec/ztip_head_validation.h"

#include "codec/ztip_head.h"
#include "codec/ztip_payload_cipher.h"
#include "codec/ztip_result.h"

namespace zt::ip {
namespace {

constexpr uint16_t kValidRandomBlockLast = 0x031F;

bool within(uint16_t uValue, uint16_t uFirst, uint16_t uLast) {
  return uValue >= uFirst && uValue <= uLast;
}

} // namespace

uint8_t validateHead(const ZTIP_Head_Para &head) {
  if (isKeyExchangeCmd(head.cmd))
    return kResultHeadKeyCmd;
  uint16_t uMode = head.crypt_mode;
  bool bValid = uMode == kCryptAuto || uMode == kCryptDes || uMode == kCryptDes3 || uMode == kCryptRandom ||
                within(uMode, kCryptDesBlockFirst, kCryptDesBlockLast) ||
                within(uMode, kCryptDes3BlockFirst, kCryptDes3BlockLast) ||
                within(uMode, kCryptRandomBlockFirst, kValidRandomBlockLast);
  return bValid ? kResultOk : kResultCryptMode;
}

} // namespace zt::ip
