#include "codec/ztip_key_material.h"

#include <cerrno>
#include <cstdlib>

#include "log/ZTIPMyFileLog.h"
#include "random_bytes.h"

namespace zt::ip {

namespace {

// Without a working random source no safe key can exist.
void randomBytes(uint8_t *pOut, size_t nLen) {
  if (!zt::platform::fillRandom(pOut, nLen)) {
    ZTIPLog(kLogError, kAreaKeyExchange, "generateKeyMaterial,getrandom error:%d", errno);
    std::abort();
  }
}

} // namespace

void generateKeyMaterial(uint8_t *pMaterial) {
  uint8_t arrDraw[64];
  size_t nDrawn = sizeof(arrDraw); // forces a refill on the first draw
  bool arrUsed[16] = {};
  for (size_t i = 0; i < 16; ++i) {
    uint8_t uValue;
    do {
      if (nDrawn == sizeof(arrDraw)) {
        randomBytes(arrDraw, sizeof(arrDraw));
        nDrawn = 0;
      }
      uValue = arrDraw[nDrawn++] & 0x0F;
    } while (arrUsed[uValue]);
    arrUsed[uValue] = true;
    pMaterial[i] = uValue;
  }
  randomBytes(pMaterial + 16, 16);
}

void deriveKeystream(const uint8_t *pMaterial, uint8_t *pKeystream) {
  for (size_t k = 0; k < kKeystreamSize; ++k)
    pKeystream[k] = pMaterial[16 + (pMaterial[k] & 0x0F)];
}

void maskValue(const uint8_t *pMaterial, const uint8_t *pIn, uint8_t *pOut) {
  uint8_t arrKeystream[kKeystreamSize];
  deriveKeystream(pMaterial, arrKeystream);
  for (size_t k = 0; k < kMaterialSize; ++k)
    pOut[k] = pIn[k] ^ arrKeystream[k % kKeystreamSize];
}

} // namespace zt::ip
