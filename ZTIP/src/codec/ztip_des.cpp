// The exported DES functions. The DES rounds come from libcrypto; this file only turns the
// library's bit order (bits of each byte from least to most significant) into the standard
// one and back, and runs the block modes.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>

#include <cstring>

#include "ZTIP.h"
#include "api/ztip_guard.h"

namespace {

// Reverses the bit order inside each of the eight bytes.
uint64_t reverseBitsInBytes(uint64_t u) {
  u = ((u >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((u & 0x0F0F0F0F0F0F0F0FULL) << 4);
  u = ((u >> 2) & 0x3333333333333333ULL) | ((u & 0x3333333333333333ULL) << 2);
  u = ((u >> 1) & 0x5555555555555555ULL) | ((u & 0x5555555555555555ULL) << 1);
  return u;
}

uint64_t loadReversed(const uint8_t *p) {
  uint64_t u;
  std::memcpy(&u, p, 8);
  return reverseBitsInBytes(u);
}

void storeReversed(uint64_t u, uint8_t *p) {
  u = reverseBitsInBytes(u);
  std::memcpy(p, &u, 8);
}

void scheduleReversedKey(const uint8_t *pKey8, DES_key_schedule *pSchedule) {
  uint64_t uKey = loadReversed(pKey8);
  DES_cblock key;
  std::memcpy(key, &uKey, 8);
  DES_set_key_unchecked(&key, pSchedule);
}

// Runs one cipher over every block of len bytes (zero-padding a last partial block when
// encrypting) with the bit order converted around it. The block goes to libcrypto as the two
// little-endian 32-bit halves its block functions take (x86-64 is little-endian).
template <typename BlockCipher>
void runEcb(const uint8_t *pIn, int nLen, bool bEncrypt, uint8_t *pOut, BlockCipher cipherBlock) {
  auto runBlock = [&](const uint8_t *pBlockIn, uint8_t *pBlockOut) {
    uint64_t u = loadReversed(pBlockIn);
    DES_LONG arrHalves[2] = {static_cast<DES_LONG>(u), static_cast<DES_LONG>(u >> 32)};
    cipherBlock(arrHalves);
    storeReversed(static_cast<uint64_t>(arrHalves[0]) | (static_cast<uint64_t>(arrHalves[1]) << 32),
                  pBlockOut);
  };
  int nWhole = nLen / 8 * 8;
  for (int i = 0; i < nWhole; i += 8)
    runBlock(pIn + i, pOut + i);
  if (bEncrypt && nWhole < nLen) {
    uint8_t arrLast[8] = {};
    std::memcpy(arrLast, pIn + nWhole, static_cast<size_t>(nLen - nWhole));
    runBlock(arrLast, pOut + nWhole);
  }
}

} // namespace

extern "C" {

void DesRun(const uint8_t *in, const uint8_t *key8, int encrypt, int len, uint8_t *out) {
  zt::ip::ztipGuarded("DesRun", [&] {
    if (in == nullptr || key8 == nullptr || out == nullptr || len <= 0)
      return;
    DES_key_schedule schedule;
    scheduleReversedKey(key8, &schedule);
    int nMode = encrypt ? DES_ENCRYPT : DES_DECRYPT;
    runEcb(in, len, encrypt != 0, out, [&](DES_LONG *pHalves) { DES_encrypt1(pHalves, &schedule, nMode); });
  });
}

void Des3Run(const uint8_t *in, const uint8_t *key16, int encrypt, int len, uint8_t *out) {
  zt::ip::ztipGuarded("Des3Run", [&] {
    if (in == nullptr || key16 == nullptr || out == nullptr || len <= 0)
      return;
    DES_key_schedule schedule1, schedule2;
    scheduleReversedKey(key16, &schedule1);
    scheduleReversedKey(key16 + 8, &schedule2);
    // With K3 = K1 this is E(K1) D(K2) E(K1), and D(K1) E(K2) D(K1) when decrypting.
    if (encrypt)
      runEcb(in, len, true, out,
             [&](DES_LONG *pHalves) { DES_encrypt3(pHalves, &schedule1, &schedule2, &schedule1); });
    else
      runEcb(in, len, false, out,
             [&](DES_LONG *pHalves) { DES_decrypt3(pHalves, &schedule1, &schedule2, &schedule1); });
  });
}

int DesCbcRun(const uint8_t *in, const uint8_t *key8, int encrypt, int len, uint8_t *out) {
  return zt::ip::ztipGuarded("DesCbcRun", 0, [&]() -> int {
    if (in == nullptr || key8 == nullptr || out == nullptr || len <= 0)
      return 0;
    int nPadded = (len + 7) / 8 * 8;
    std::memmove(out, in, static_cast<size_t>(len));
    std::memset(out + len, 0, static_cast<size_t>(nPadded - len));
    DES_cblock key, iv;
    std::memcpy(key, key8, 8);
    for (int i = 0; i < 8; ++i)
      iv[i] = key8[7 - i];
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    DES_ncbc_encrypt(out, out, nPadded, &schedule, &iv, encrypt ? DES_ENCRYPT : DES_DECRYPT);
    return nPadded;
  });
}

int EncryptInfo(const uint8_t *in, uint8_t *out, const uint8_t *material32, int len) {
  return zt::ip::ztipGuarded("EncryptInfo", 0, [&]() -> int {
    if (in == nullptr || out == nullptr || material32 == nullptr || len < 0 || len > 16)
      return 0;
    // The index is kept to the 16 key bytes whatever the material holds.
    for (int i = 0; i < len; ++i)
      out[i] = in[i] ^ material32[16 + (material32[i] & 0x0F)];
    return 1;
  });
}

int DecryptInfo(const uint8_t *in, uint8_t *out, const uint8_t *material32, int len) {
  return zt::ip::ztipGuarded("DecryptInfo", 0, [&]() -> int {
    return EncryptInfo(in, out, material32, len);
  });
}

} // extern "C"
