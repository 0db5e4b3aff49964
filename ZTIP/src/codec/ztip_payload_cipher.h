// Payload encryption by crypt mode: DES and two-key triple DES (whole payload or its first
// 128 bytes), the random-key transform (whole payload or its first blocks), and the key
// state of one connection they use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/ztip_key_material.h"

namespace zt::ip {

constexpr uint16_t kCryptPlain = 0x0000;
constexpr uint16_t kCryptDes = 0x0101;
constexpr uint16_t kCryptDes3 = 0x0102;
constexpr uint16_t kCryptDesBlockFirst = 0x0111, kCryptDesBlockLast = 0x011F;
constexpr uint16_t kCryptDes3BlockFirst = 0x0121, kCryptDes3BlockLast = 0x012F;
constexpr uint16_t kCryptRandom = 0x0300;
constexpr uint16_t kCryptRandomBlockFirst = 0x0301, kCryptRandomBlockLast = 0x030F;
constexpr uint16_t kCryptAuto = 0x8000;

// Bytes of the payload that the DES block variants encrypt.
constexpr size_t kDesBlockVariantBytes = 128;

// mKmState values.
constexpr int kKmNone = 0;
constexpr int kKmRunning = 1;
constexpr int kKmAgreed = 2;
// mDesKeyState values.
constexpr int kDesKeyNone = 0;
constexpr int kDesKeyReady = 2;

// Key state of one connection (guarded by the connection's status lock).
struct ZtipKeys {
  int mKmState = kKmNone;
  int mDesKeyState = kDesKeyNone;
  uint8_t mOwnMaterial[kMaterialSize] = {};     // this side's mask in the exchange
  uint8_t mSessionMaterial[kMaterialSize] = {}; // the agreed value
  uint8_t mDesKey[16] = {};                     // session material bytes 0-15
};

// True once both key states are complete.
bool keysAgreed(const ZtipKeys &keys);

// Stores the agreed session material, derives the DES key and marks both states complete.
void agreeSessionKeys(ZtipKeys &keys, const uint8_t *pSessionMaterial);

// 0x8000 becomes 0x0101 with a DES key, else 0x0300 with session material, else 0; other
// modes are returned unchanged.
uint16_t resolveCryptMode(const ZtipKeys &keys, uint16_t uCryptMode);

// DES family: 0x0001-0x02FF, padded to a multiple of 8 before encryption.
bool isDesFamily(uint16_t uCryptMode);
// Random-key family: 0x0300 and above (0x8000 must be resolved first).
bool isRandomFamily(uint16_t uCryptMode);

// The random-key transform of nLen bytes (its own inverse): all bytes for 0x0300, the
// leading blocks for 0x0301-0x030F. pIn and pOut may be the same buffer.
void randomKeyTransform(const uint8_t *pMaterial, uint16_t uCryptMode, size_t nLen, const uint8_t *pIn,
                        uint8_t *pOut);

// Encrypts nLen bytes (already padded to a multiple of 8 for the DES family) into pOut, which
// may be pIn.
// Returns 1, 0xCE without a DES key, 0xCD without session material, 0xCC for any other mode;
// each failure is logged as "EncryptData,<n>,...".
uint8_t encryptPayload(const ZtipKeys &keys, uint16_t uCryptMode, size_t nLen, const uint8_t *pIn,
                       uint8_t *pOut);

// Decrypts nLen bytes in place with the same checks ("DecryptData,<n>,..."); mode 0 leaves
// the data as it is and 0x8000 is resolved first. Returns 1 or the code.
uint8_t decryptPayload(const ZtipKeys &keys, uint16_t uCryptMode, size_t nLen, uint8_t *pData);

} // namespace zt::ip
