#include "codec/ztip_payload_cipher.h"

#include <algorithm>
#include <cstring>

#include "ZTIP.h"
#include "log/ZTIPMyFileLog.h"
#include "codec/ztip_result.h"

namespace zt::ip {

namespace {

enum class Cipher { None, Des, Des3, Random, Unknown };

struct ModeInfo {
  Cipher eCipher;
  int nLogIndex; // the number in the "EncryptData,<n>,..." and "DecryptData,<n>,..." lines
};

ModeInfo classify(uint16_t uCryptMode) {
  if (uCryptMode == kCryptPlain)
    return {Cipher::None, 0};
  if (uCryptMode == kCryptDes)
    return {Cipher::Des, 1};
  if (uCryptMode == kCryptDes3)
    return {Cipher::Des3, 2};
  if (uCryptMode >= kCryptDesBlockFirst && uCryptMode <= kCryptDesBlockLast)
    return {Cipher::Des, 3};
  if (uCryptMode >= kCryptDes3BlockFirst && uCryptMode <= kCryptDes3BlockLast)
    return {Cipher::Des3, 4};
  if (uCryptMode == kCryptRandom)
    return {Cipher::Random, 5};
  if (uCryptMode >= kCryptRandomBlockFirst && uCryptMode <= kCryptRandomBlockLast)
    return {Cipher::Random, 6};
  return {Cipher::Unknown, 7};
}

// Checks the key the mode needs; logs "<pstrStep>,<n>,..." and returns the code when missing.
uint8_t checkKeys(const ZtipKeys &keys, const ModeInfo &mode, const char *pstrStep) {
  if (mode.eCipher == Cipher::Unknown) {
    ZTIPLog(kLogError, kAreaOperation, "%s,%d,crypt mode error", pstrStep, mode.nLogIndex);
    return kResultCryptMode;
  }
  if ((mode.eCipher == Cipher::Des || mode.eCipher == Cipher::Des3) && keys.mDesKeyState != kDesKeyReady) {
    ZTIPLog(kLogError, kAreaOperation, "%s,%d,des key null", pstrStep, mode.nLogIndex);
    return kResultDesKeyMissing;
  }
  if (mode.eCipher == Cipher::Random && keys.mKmState != kKmAgreed) {
    ZTIPLog(kLogError, kAreaOperation, "%s,%d,random key null", pstrStep, mode.nLogIndex);
    return kResultRandomKeyMissing;
  }
  return kResultOk;
}

bool isDesBlockVariant(uint16_t uCryptMode) {
  return uCryptMode != kCryptDes && uCryptMode != kCryptDes3;
}

// Runs the mode's cipher from pIn to pOut (which may be the same buffer).
void transform(const ZtipKeys &keys, uint16_t uCryptMode, Cipher eCipher, bool bEncrypt, size_t nLen,
               const uint8_t *pIn, uint8_t *pOut) {
  if (eCipher == Cipher::Random) {
    randomKeyTransform(keys.mSessionMaterial, uCryptMode, nLen, pIn, pOut);
    return;
  }
  size_t nCipherLen = isDesBlockVariant(uCryptMode) ? std::min(nLen, kDesBlockVariantBytes) : nLen;
  if (pIn != pOut)
    std::memcpy(pOut + nCipherLen, pIn + nCipherLen, nLen - nCipherLen);
  if (eCipher == Cipher::Des)
    DesRun(pIn, keys.mDesKey, bEncrypt, static_cast<int>(nCipherLen), pOut);
  else
    Des3Run(pIn, keys.mDesKey, bEncrypt, static_cast<int>(nCipherLen), pOut);
}

} // namespace

bool keysAgreed(const ZtipKeys &keys) {
  return keys.mKmState == kKmAgreed && keys.mDesKeyState == kDesKeyReady;
}

void agreeSessionKeys(ZtipKeys &keys, const uint8_t *pSessionMaterial) {
  std::memcpy(keys.mSessionMaterial, pSessionMaterial, kMaterialSize);
  std::memcpy(keys.mDesKey, pSessionMaterial, sizeof(keys.mDesKey));
  keys.mKmState = kKmAgreed;
  keys.mDesKeyState = kDesKeyReady;
}

uint16_t resolveCryptMode(const ZtipKeys &keys, uint16_t uCryptMode) {
  if (uCryptMode != kCryptAuto)
    return uCryptMode;
  if (keys.mDesKeyState == kDesKeyReady)
    return kCryptDes;
  if (keys.mKmState == kKmAgreed)
    return kCryptRandom;
  return kCryptPlain;
}

bool isDesFamily(uint16_t uCryptMode) {
  return uCryptMode >= 0x0001 && uCryptMode <= 0x02FF;
}

bool isRandomFamily(uint16_t uCryptMode) {
  return uCryptMode >= kCryptRandom;
}

void randomKeyTransform(const uint8_t *pMaterial, uint16_t uCryptMode, size_t nLen, const uint8_t *pIn,
                        uint8_t *pOut) {
  // 0x0301-0x030F cover n leading blocks; a payload with fewer than n whole blocks is covered
  // whole, its short tail included.
  size_t nCovered = nLen;
  if (uCryptMode != kCryptRandom)
    nCovered = std::min(nLen, static_cast<size_t>(uCryptMode - kCryptRandom) * kKeystreamSize);
  uint8_t arrKeystream[kKeystreamSize];
  deriveKeystream(pMaterial, arrKeystream);
  for (size_t i = 0; i < nCovered; ++i)
    pOut[i] = pIn[i] ^ arrKeystream[i % kKeystreamSize];
  if (pIn != pOut)
    std::memcpy(pOut + nCovered, pIn + nCovered, nLen - nCovered);
}

uint8_t encryptPayload(const ZtipKeys &keys, uint16_t uCryptMode, size_t nLen, const uint8_t *pIn,
                       uint8_t *pOut) {
  ModeInfo mode = classify(uCryptMode);
  if (mode.eCipher == Cipher::None) {
    // Plain is not an encryption mode; the sender never asks for it.
    ZTIPLog(kLogError, kAreaOperation, "EncryptData,7,crypt mode error");
    return kResultCryptMode;
  }
  uint8_t uResult = checkKeys(keys, mode, "EncryptData");
  if (uResult != kResultOk)
    return uResult;
  transform(keys, uCryptMode, mode.eCipher, true, nLen, pIn, pOut);
  return kResultOk;
}

uint8_t decryptPayload(const ZtipKeys &keys, uint16_t uCryptMode, size_t nLen, uint8_t *pData) {
  uCryptMode = resolveCryptMode(keys, uCryptMode);
  ModeInfo mode = classify(uCryptMode);
  if (mode.eCipher == Cipher::None)
    return kResultOk;
  uint8_t uResult = checkKeys(keys, mode, "DecryptData");
  if (uResult != kResultOk)
    return uResult;
  transform(keys, uCryptMode, mode.eCipher, false, nLen, pData, pData);
  return kResultOk;
}

} // namespace zt::ip
