// DES exports in the library's bit order, key material, masking and the crypt modes.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "ZTIP.h"
#include "codec/ztip_key_material.h"
#include "codec/ztip_payload_cipher.h"
#include "codec/ztip_result.h"

using namespace zt::ip;

namespace {

std::vector<uint8_t> hex(const char *pstrHex) {
  std::vector<uint8_t> vec;
  for (size_t i = 0; pstrHex[i] != '\0'; i += 2)
    vec.push_back(static_cast<uint8_t>(std::stoul(std::string(pstrHex + i, 2), nullptr, 16)));
  return vec;
}

std::vector<uint8_t> counting(size_t nLen) {
  std::vector<uint8_t> vec(nLen);
  for (size_t i = 0; i < nLen; ++i)
    vec[i] = static_cast<uint8_t>(i * 7 + 3);
  return vec;
}

ZtipKeys agreedKeys() {
  ZtipKeys keys;
  uint8_t arrMaterial[kMaterialSize];
  generateKeyMaterial(arrMaterial);
  agreeSessionKeys(keys, arrMaterial);
  return keys;
}

size_t changedBytes(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, size_t nFrom, size_t nTo) {
  size_t nChanged = 0;
  for (size_t i = nFrom; i < nTo; ++i)
    nChanged += a[i] != b[i];
  return nChanged;
}

} // namespace

// Published DES vectors (standard bit order) with every byte of key, input and output
// bit-reversed: 133457799BBCDFF1 / 0123456789ABCDEF / 85E813540F0AB405 and
// 0E329232EA6D0D73 / 8787878787878787 / 0000000000000000.
TEST(DesRun, KnownAnswersInReversedBitOrderBothDirections) {
  struct Vector {
    const char *pstrKey, *pstrPlain, *pstrCipher;
  } vectors[] = {{"C82CEA9ED93DFB8F", "80C4A2E691D5B3F7", "A117C82AF0502DA0"},
                 {"704C494C57B6B0CE", "E1E1E1E1E1E1E1E1", "0000000000000000"}};
  for (const Vector &v : vectors) {
    std::vector<uint8_t> key = hex(v.pstrKey), plain = hex(v.pstrPlain), cipher = hex(v.pstrCipher);
    uint8_t arrOut[8];
    DesRun(plain.data(), key.data(), 1, 8, arrOut);
    EXPECT_EQ(0, std::memcmp(arrOut, cipher.data(), 8)) << v.pstrKey;
    DesRun(cipher.data(), key.data(), 0, 8, arrOut);
    EXPECT_EQ(0, std::memcmp(arrOut, plain.data(), 8)) << v.pstrKey;
  }
}

// Two-key triple DES, K1 = 133457799BBCDFF1, K2 = 0E329232EA6D0D73 on 0123456789ABCDEF gives
// 055152350CD7A4BB in standard bit order; here all bytes are bit-reversed.
TEST(Des3Run, KnownAnswerAndCompositionOfSingleDes) {
  std::vector<uint8_t> key = hex("C82CEA9ED93DFB8F704C494C57B6B0CE"), plain = hex("80C4A2E691D5B3F7"),
                       cipher = hex("A08A4AAC30EB25DD");
  uint8_t arrOut[8];
  Des3Run(plain.data(), key.data(), 1, 8, arrOut);
  EXPECT_EQ(0, std::memcmp(arrOut, cipher.data(), 8));
  Des3Run(cipher.data(), key.data(), 0, 8, arrOut);
  EXPECT_EQ(0, std::memcmp(arrOut, plain.data(), 8));

  // E(K1) D(K2) E(K1) over several blocks equals three single-DES passes.
  std::vector<uint8_t> data = counting(64), viaDes(64), via3Des(64);
  DesRun(data.data(), key.data(), 1, 64, viaDes.data());
  DesRun(viaDes.data(), key.data() + 8, 0, 64, viaDes.data());
  DesRun(viaDes.data(), key.data(), 1, 64, viaDes.data());
  Des3Run(data.data(), key.data(), 1, 64, via3Des.data());
  EXPECT_EQ(viaDes, via3Des);
}

TEST(DesRun, RoundTripsAndPartialBlocks) {
  std::vector<uint8_t> key = hex("0123456789ABCDEF0011223344556677");
  for (int nLen : {8, 16, 1024}) {
    std::vector<uint8_t> data = counting(static_cast<size_t>(nLen)), enc(data.size()), dec(data.size());
    DesRun(data.data(), key.data(), 1, nLen, enc.data());
    EXPECT_NE(data, enc);
    DesRun(enc.data(), key.data(), 0, nLen, dec.data());
    EXPECT_EQ(data, dec) << nLen;
    Des3Run(data.data(), key.data(), 1, nLen, enc.data());
    Des3Run(enc.data(), key.data(), 0, nLen, dec.data());
    EXPECT_EQ(data, dec) << nLen;
  }

  // 13 bytes encrypt into 16: the tail is padded with zero bytes; decrypting 13 ignores the
  // partial block and leaves byte 8 onward alone.
  std::vector<uint8_t> data = counting(13), padded = data;
  padded.resize(16, 0);
  std::vector<uint8_t> enc(17, 0xEE), encPadded(16), dec(16, 0x55);
  DesRun(data.data(), key.data(), 1, 13, enc.data());
  DesRun(padded.data(), key.data(), 1, 16, encPadded.data());
  EXPECT_EQ(0, std::memcmp(enc.data(), encPadded.data(), 16));
  EXPECT_EQ(0xEE, enc[16]);
  DesRun(enc.data(), key.data(), 0, 13, dec.data());
  EXPECT_EQ(0, std::memcmp(dec.data(), data.data(), 8));
  EXPECT_EQ(0x55, dec[8]);

  // In place, and null or empty arguments do nothing.
  std::vector<uint8_t> inPlace = counting(24), expected(24);
  DesRun(inPlace.data(), key.data(), 1, 24, expected.data());
  DesRun(inPlace.data(), key.data(), 1, 24, inPlace.data());
  EXPECT_EQ(expected, inPlace);
  DesRun(nullptr, key.data(), 1, 8, inPlace.data());
  Des3Run(inPlace.data(), nullptr, 1, 8, inPlace.data());
  DesRun(inPlace.data(), key.data(), 1, -8, inPlace.data());
  EXPECT_EQ(expected, inPlace);
}

// Standard DES-CBC (ordinary bit order), IV = key bytes reversed; vector from an independent
// DES-CBC computation of "abcdefghi" plus seven zero bytes under key 133457799BBCDFF1.
TEST(DesCbcRun, LengthsNullHandlingAndKnownAnswer) {
  std::vector<uint8_t> key = hex("133457799BBCDFF1");
  const uint8_t arrIn[] = "abcdefghi";
  uint8_t arrOut[16];
  EXPECT_EQ(16, DesCbcRun(arrIn, key.data(), 1, 9, arrOut));
  EXPECT_EQ(hex("26D1CB37552C9EB3C25E155035A4CDBE"), std::vector<uint8_t>(arrOut, arrOut + 16));
  uint8_t arrBack[16];
  EXPECT_EQ(16, DesCbcRun(arrOut, key.data(), 0, 16, arrBack));
  EXPECT_EQ(0, std::memcmp(arrBack, "abcdefghi\0\0\0\0\0\0\0", 16));

  EXPECT_EQ(8, DesCbcRun(arrIn, key.data(), 1, 8, arrOut));
  EXPECT_EQ(0, DesCbcRun(arrIn, key.data(), 1, 0, arrOut));
  EXPECT_EQ(0, DesCbcRun(arrIn, key.data(), 1, -1, arrOut));
  EXPECT_EQ(0, DesCbcRun(nullptr, key.data(), 1, 9, arrOut));
  EXPECT_EQ(0, DesCbcRun(arrIn, nullptr, 1, 9, arrOut));
  EXPECT_EQ(0, DesCbcRun(arrIn, key.data(), 1, 9, nullptr));
}

TEST(EncryptInfo, InverseOfItselfAndOfDecryptInfo) {
  uint8_t arrMaterial[kMaterialSize];
  generateKeyMaterial(arrMaterial);
  std::vector<uint8_t> data = counting(16), enc(16), dec(16);
  EXPECT_EQ(1, EncryptInfo(data.data(), enc.data(), arrMaterial, 16));
  EXPECT_NE(data, enc);
  EXPECT_EQ(1, DecryptInfo(enc.data(), dec.data(), arrMaterial, 16));
  EXPECT_EQ(data, dec);
  EXPECT_EQ(1, EncryptInfo(enc.data(), dec.data(), arrMaterial, 16));
  EXPECT_EQ(data, dec);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(data[i] ^ arrMaterial[16 + arrMaterial[i]], enc[i]);

  // Beyond the 16 key positions, null pointers and hostile material are refused or contained.
  std::vector<uint8_t> untouched(32, 0x5A);
  EXPECT_EQ(0, EncryptInfo(counting(32).data(), untouched.data(), arrMaterial, 17));
  EXPECT_EQ(0, EncryptInfo(nullptr, untouched.data(), arrMaterial, 4));
  EXPECT_EQ(0, DecryptInfo(data.data(), untouched.data(), nullptr, 4));
  EXPECT_EQ(std::vector<uint8_t>(32, 0x5A), untouched);
  uint8_t arrHostile[kMaterialSize];
  std::memset(arrHostile, 0xFF, 16);
  std::memset(arrHostile + 16, 0x11, 16);
  arrHostile[31] = 0x42;
  EXPECT_EQ(1, EncryptInfo(data.data(), enc.data(), arrHostile, 16));
  EXPECT_EQ(data[0] ^ 0x42, enc[0]);
}

TEST(KeyMaterial, PermutationThenRandomBytesKeystreamAndMasking) {
  std::set<std::vector<uint8_t>> seen;
  for (int n = 0; n < 20; ++n) {
    uint8_t arrMaterial[kMaterialSize];
    generateKeyMaterial(arrMaterial);
    std::set<uint8_t> positions(arrMaterial, arrMaterial + 16);
    EXPECT_EQ(16u, positions.size());
    EXPECT_EQ(15, *positions.rbegin());
    seen.insert(std::vector<uint8_t>(arrMaterial, arrMaterial + kMaterialSize));

    uint8_t arrKeystream[kKeystreamSize];
    deriveKeystream(arrMaterial, arrKeystream);
    for (size_t k = 0; k < kKeystreamSize; ++k)
      EXPECT_EQ(arrMaterial[16 + arrMaterial[k]], arrKeystream[k]);

    std::vector<uint8_t> value = counting(32), masked(32), back(32);
    maskValue(arrMaterial, value.data(), masked.data());
    for (size_t k = 0; k < 32; ++k)
      EXPECT_EQ(value[k] ^ arrKeystream[k % 16], masked[k]);
    maskValue(arrMaterial, masked.data(), back.data());
    EXPECT_EQ(value, back);
  }
  EXPECT_EQ(20u, seen.size());

  // The three-pass exchange: B masked with A, then with Q, unmasked with A, then with Q.
  uint8_t arrA[32], arrB[32], arrQ[32], arrWire[32];
  generateKeyMaterial(arrA);
  generateKeyMaterial(arrB);
  generateKeyMaterial(arrQ);
  maskValue(arrA, arrB, arrWire);
  maskValue(arrQ, arrWire, arrWire);
  maskValue(arrA, arrWire, arrWire);
  maskValue(arrQ, arrWire, arrWire);
  EXPECT_EQ(0, std::memcmp(arrB, arrWire, 32));

  // Material from a peer with indexes above 15 stays within its 32 bytes.
  uint8_t arrHostile[kMaterialSize];
  std::memset(arrHostile, 0xF3, sizeof(arrHostile));
  arrHostile[16 + 3] = 0x77;
  uint8_t arrKeystream[kKeystreamSize];
  deriveKeystream(arrHostile, arrKeystream);
  EXPECT_EQ(0x77, arrKeystream[0]);
}

TEST(CryptModes, RandomKeyTransformedAndUntouchedRanges) {
  ZtipKeys keys = agreedKeys();
  struct Case {
    uint16_t uMode;
    size_t nLen, nTransformed;
  } cases[] = {
      {0x0303, 100, 48},                      // three whole blocks, 52 bytes plain
      {0x030F, 40, 40},                       // fewer than 15 blocks: two blocks and the 8-byte tail
      {0x0300, 1000, 1000}, {0x0301, 15, 15}, // no whole block: the tail alone
      {0x0302, 250, 32},                      // over 240 bytes: two blocks only
      {0x030F, 241, 240},   {0x030F, 240, 240}, {0x0305, 80, 80},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> plain = counting(c.nLen), enc(c.nLen), dec(c.nLen);
    ASSERT_EQ(kResultOk, encryptPayload(keys, c.uMode, c.nLen, plain.data(), enc.data()));
    uint8_t arrKeystream[kKeystreamSize];
    deriveKeystream(keys.mSessionMaterial, arrKeystream);
    for (size_t i = 0; i < c.nLen; ++i) {
      uint8_t uExpected = i < c.nTransformed ? plain[i] ^ arrKeystream[i % 16] : plain[i];
      ASSERT_EQ(uExpected, enc[i]) << std::hex << c.uMode << " len " << std::dec << c.nLen << " byte " << i;
    }
    dec = enc;
    ASSERT_EQ(kResultOk, decryptPayload(keys, c.uMode, c.nLen, dec.data()));
    EXPECT_EQ(plain, dec);
  }
}

TEST(CryptModes, DesFamilyWholeAndFirst128Bytes) {
  ZtipKeys keys = agreedKeys();
  for (uint16_t uMode : {0x0101, 0x0102, 0x0111, 0x011F, 0x0121, 0x012F}) {
    bool bBlockVariant = uMode >= 0x0111;
    for (size_t nLen : {8u, 128u, 256u, 1024u}) {
      std::vector<uint8_t> plain = counting(nLen), enc(nLen), expected(nLen);
      ASSERT_EQ(kResultOk, encryptPayload(keys, uMode, nLen, plain.data(), enc.data()));
      size_t nCipher = bBlockVariant ? std::min<size_t>(nLen, 128) : nLen;
      expected = plain;
      if ((uMode & 0x00F0) == 0x0020 || uMode == 0x0102)
        Des3Run(plain.data(), keys.mDesKey, 1, static_cast<int>(nCipher), expected.data());
      else
        DesRun(plain.data(), keys.mDesKey, 1, static_cast<int>(nCipher), expected.data());
      EXPECT_EQ(expected, enc) << std::hex << uMode << std::dec << " len " << nLen;
      EXPECT_GT(changedBytes(plain, enc, nCipher - 8, nCipher), 0u);
      EXPECT_EQ(0u, changedBytes(plain, enc, nCipher, nLen));
      ASSERT_EQ(kResultOk, decryptPayload(keys, uMode, nLen, enc.data()));
      EXPECT_EQ(plain, enc);
    }
  }
}

TEST(CryptModes, MissingKeysUnknownModesAndAutomaticChoice) {
  ZtipKeys none;
  std::vector<uint8_t> data = counting(16), out(16);
  for (uint16_t uMode : {0x0101, 0x0102, 0x0115, 0x0125})
    EXPECT_EQ(kResultDesKeyMissing, encryptPayload(none, uMode, 16, data.data(), out.data()));
  for (uint16_t uMode : {0x0300, 0x0308})
    EXPECT_EQ(kResultRandomKeyMissing, encryptPayload(none, uMode, 16, data.data(), out.data()));
  for (uint16_t uMode : {0x0103, 0x0110, 0x0130, 0x0310, 0x0200})
    EXPECT_EQ(kResultCryptMode, encryptPayload(agreedKeys(), uMode, 16, data.data(), out.data()));
  EXPECT_EQ(kResultDesKeyMissing, decryptPayload(none, 0x0101, 16, out.data()));
  EXPECT_EQ(kResultRandomKeyMissing, decryptPayload(none, 0x0301, 16, out.data()));
  EXPECT_EQ(kResultCryptMode, decryptPayload(none, 0x0400, 16, out.data()));
  std::vector<uint8_t> untouched = data;
  EXPECT_EQ(kResultOk, decryptPayload(none, 0x0000, 16, untouched.data()));
  EXPECT_EQ(data, untouched);

  EXPECT_EQ(0x0000, resolveCryptMode(none, 0x8000));
  ZtipKeys randomOnly;
  randomOnly.mKmState = kKmAgreed;
  EXPECT_EQ(0x0300, resolveCryptMode(randomOnly, 0x8000));
  EXPECT_EQ(0x0101, resolveCryptMode(agreedKeys(), 0x8000));
  EXPECT_EQ(0x0303, resolveCryptMode(agreedKeys(), 0x0303));
}
