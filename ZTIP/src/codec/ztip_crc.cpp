#include "codec/ztip_crc.h"

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace zt::ip {

namespace {

using Table = std::array<uint16_t, 256>;

constexpr uint32_t kPolynomial = 0x11021; // x^16 + x^12 + x^5 + 1

// Entry i is i * 0x1021 (carry-less): the remainder of four bits shifted out at a time.
constexpr uint16_t kNibbleTable[16] = {0x0000, 0x1021, 0x2042, 0x3063, 0x4084, 0x50A5, 0x60C6, 0x70E7,
                                       0x8108, 0x9129, 0xA14A, 0xB16B, 0xC18C, 0xD1AD, 0xE1CE, 0xF1EF};

constexpr uint16_t nibbleStep(uint16_t uCrc, uint8_t uNibble) {
  return static_cast<uint16_t>((uCrc << 4) ^ kNibbleTable[(uCrc >> 12) ^ uNibble]);
}

// Eight tables for eight bytes per step, all derived from the nibble table: table 0 is one
// byte (two nibble steps), table k is table k-1 followed by one more zero byte. The result is
// the same as stepping nibble by nibble, several times faster.
constexpr std::array<Table, 8> makeSlicingTables() {
  std::array<Table, 8> tables{};
  for (int b = 0; b < 256; ++b)
    tables[0][b] = nibbleStep(nibbleStep(0, static_cast<uint8_t>(b >> 4)), static_cast<uint8_t>(b & 0x0F));
  for (int k = 1; k < 8; ++k)
    for (int b = 0; b < 256; ++b)
      tables[k][b] = static_cast<uint16_t>((tables[k - 1][b] << 8) ^ tables[0][tables[k - 1][b] >> 8]);
  return tables;
}

constexpr std::array<Table, 8> kTables = makeSlicingTables();

// Continues a CRC over more bytes, eight at a time through the slicing tables.
uint16_t crcByTables(uint16_t uCrc, const uint8_t *pData, size_t nLen) {
  size_t i = 0;
  for (; i + 8 <= nLen; i += 8) {
    const uint8_t *p = pData + i;
    uCrc = static_cast<uint16_t>(kTables[7][p[0] ^ (uCrc >> 8)] ^ kTables[6][p[1] ^ (uCrc & 0xFF)] ^
                                 kTables[5][p[2]] ^ kTables[4][p[3]] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^
                                 kTables[1][p[6]] ^ kTables[0][p[7]]);
  }
  for (; i < nLen; ++i)
    uCrc = static_cast<uint16_t>((uCrc << 8) ^ kTables[0][(uCrc >> 8) ^ pData[i]]);
  return uCrc;
}

#if defined(__x86_64__)

// The carry-less multiply version. A message is a polynomial over GF(2) (first byte's top
// bit highest) and its CRC is message * x^16 mod P. Replacing any part of the message by
// something congruent modulo P keeps the CRC, so 16-byte blocks are folded forward:
// X * x^d = X_hi * x^(d+64) + X_lo * x^d, with both powers of x reduced modulo P to 16
// bits, gives an 80-bit value congruent to X shifted d bits further, which is added to the
// block d bits on. What remains at the end is one 16-byte value and a short tail, whose CRC
// the tables take.

// x^n mod P.
constexpr uint64_t xPowModP(int n) {
  uint32_t uRem = 1;
  for (int i = 0; i < n; ++i) {
    uRem <<= 1;
    if (uRem & 0x10000)
      uRem ^= kPolynomial;
  }
  return uRem;
}

constexpr size_t kBlock = 16;
constexpr size_t kStride = 4 * kBlock; // four independent accumulators, so the multiplies overlap

// The two reduced powers that move a 128-bit value nBits forward, worked out at compile time.
struct FoldPowers {
  uint64_t uLow;  // x^nBits mod P, for the low 64 bits
  uint64_t uHigh; // x^(nBits+64) mod P, for the high 64 bits
};
constexpr FoldPowers foldPowers(size_t nBits) {
  return {xPowModP(static_cast<int>(nBits)), xPowModP(static_cast<int>(nBits + 64))};
}
constexpr FoldPowers kFold1Block = foldPowers(1 * kBlock * 8);
constexpr FoldPowers kFold2Blocks = foldPowers(2 * kBlock * 8);
constexpr FoldPowers kFold3Blocks = foldPowers(3 * kBlock * 8);
constexpr FoldPowers kFoldStride = foldPowers(kStride * 8);

__attribute__((target("pclmul,ssse3"))) inline __m128i foldConstants(const FoldPowers &powers) {
  return _mm_set_epi64x(static_cast<long long>(powers.uHigh), static_cast<long long>(powers.uLow));
}

// X moved forward and reduced; kFold holds the powers of the distance.
__attribute__((target("pclmul,ssse3"))) inline __m128i foldForward(__m128i x, __m128i kFold) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, kFold, 0x00), _mm_clmulepi64_si128(x, kFold, 0x11));
}

__attribute__((target("pclmul,ssse3"))) inline __m128i reverseBytes(__m128i x) {
  return _mm_shuffle_epi8(x, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}

// 16 message bytes as a 128-bit polynomial: byte 0 in the top bits.
__attribute__((target("pclmul,ssse3"))) inline __m128i loadBlock(const uint8_t *p) {
  return reverseBytes(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
}

// Folds the whole blocks left after the strided part, then the tables take the folded value
// and the last bytes.
__attribute__((target("pclmul,ssse3"))) uint16_t finishFolding(__m128i x, const uint8_t *pRest,
                                                               size_t nRest) {
  const __m128i kBlockFold = foldConstants(kFold1Block);
  size_t nPos = 0;
  for (; nPos + kBlock <= nRest; nPos += kBlock)
    x = _mm_xor_si128(foldForward(x, kBlockFold), loadBlock(pRest + nPos));
  uint8_t arrFolded[kBlock];
  _mm_storeu_si128(reinterpret_cast<__m128i *>(arrFolded), reverseBytes(x)); // message byte order
  return crcByTables(crcByTables(0, arrFolded, kBlock), pRest + nPos, nRest - nPos);
}

__attribute__((target("pclmul,ssse3"))) uint16_t crcByClmul(const uint8_t *pData, size_t nLen) {
  if (nLen < kStride)
    return crcByTables(0, pData, nLen);
  // Accumulator k takes blocks k, k + 4, k + 8, ... (kept in registers, not an array, so that
  // each step waits only for its own multiply).
  __m128i x0 = loadBlock(pData), x1 = loadBlock(pData + kBlock), x2 = loadBlock(pData + 2 * kBlock),
          x3 = loadBlock(pData + 3 * kBlock);
  size_t nPos = kStride;
  const __m128i kStrideFold = foldConstants(kFoldStride);
  for (; nPos + kStride <= nLen; nPos += kStride) {
    const uint8_t *p = pData + nPos;
    x0 = _mm_xor_si128(foldForward(x0, kStrideFold), loadBlock(p));
    x1 = _mm_xor_si128(foldForward(x1, kStrideFold), loadBlock(p + kBlock));
    x2 = _mm_xor_si128(foldForward(x2, kStrideFold), loadBlock(p + 2 * kBlock));
    x3 = _mm_xor_si128(foldForward(x3, kStrideFold), loadBlock(p + 3 * kBlock));
  }
  // Each accumulator moved past the blocks that follow its last one.
  __m128i x = _mm_xor_si128(_mm_xor_si128(foldForward(x0, foldConstants(kFold3Blocks)),
                                          foldForward(x1, foldConstants(kFold2Blocks))),
                            _mm_xor_si128(foldForward(x2, foldConstants(kFold1Block)), x3));
  return finishFolding(x, pData + nPos, nLen - nPos);
}

// The same folding on 256-bit registers, two blocks per register: the low half holds the
// earlier block, the high half the one after it.
constexpr size_t kWideBlock = 2 * kBlock;
constexpr size_t kWideStride = 4 * kWideBlock;
constexpr FoldPowers kFold1Wide = foldPowers(1 * kWideBlock * 8);
constexpr FoldPowers kFold2Wide = foldPowers(2 * kWideBlock * 8);
constexpr FoldPowers kFold3Wide = foldPowers(3 * kWideBlock * 8);
constexpr FoldPowers kFoldWideStride = foldPowers(kWideStride * 8);

__attribute__((target("vpclmulqdq,pclmul,avx2"))) inline __m256i wideFoldConstants(const FoldPowers &powers) {
  return _mm256_set_epi64x(static_cast<long long>(powers.uHigh), static_cast<long long>(powers.uLow),
                           static_cast<long long>(powers.uHigh), static_cast<long long>(powers.uLow));
}

__attribute__((target("vpclmulqdq,pclmul,avx2"))) inline __m256i wideFoldForward(__m256i y, __m256i kFold) {
  return _mm256_xor_si256(_mm256_clmulepi64_epi128(y, kFold, 0x00), _mm256_clmulepi64_epi128(y, kFold, 0x11));
}

__attribute__((target("vpclmulqdq,pclmul,avx2"))) inline __m256i loadWideBlock(const uint8_t *p) {
  const __m256i kReverse = _mm256_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3,
                                           4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)), kReverse);
}

__attribute__((target("vpclmulqdq,pclmul,avx2"))) uint16_t crcByWideClmul(const uint8_t *pData, size_t nLen) {
  if (nLen < kWideStride)
    return crcByClmul(pData, nLen);
  __m256i y0 = loadWideBlock(pData), y1 = loadWideBlock(pData + kWideBlock),
          y2 = loadWideBlock(pData + 2 * kWideBlock), y3 = loadWideBlock(pData + 3 * kWideBlock);
  size_t nPos = kWideStride;
  const __m256i kStrideFold = wideFoldConstants(kFoldWideStride);
  for (; nPos + kWideStride <= nLen; nPos += kWideStride) {
    const uint8_t *p = pData + nPos;
    y0 = _mm256_xor_si256(wideFoldForward(y0, kStrideFold), loadWideBlock(p));
    y1 = _mm256_xor_si256(wideFoldForward(y1, kStrideFold), loadWideBlock(p + kWideBlock));
    y2 = _mm256_xor_si256(wideFoldForward(y2, kStrideFold), loadWideBlock(p + 2 * kWideBlock));
    y3 = _mm256_xor_si256(wideFoldForward(y3, kStrideFold), loadWideBlock(p + 3 * kWideBlock));
  }
  __m256i y = _mm256_xor_si256(_mm256_xor_si256(wideFoldForward(y0, wideFoldConstants(kFold3Wide)),
                                                wideFoldForward(y1, wideFoldConstants(kFold2Wide))),
                               _mm256_xor_si256(wideFoldForward(y2, wideFoldConstants(kFold1Wide)), y3));
  // The earlier block of the pair moved past the later one.
  __m128i x = _mm_xor_si128(foldForward(_mm256_castsi256_si128(y), foldConstants(kFold1Block)),
                            _mm256_extracti128_si256(y, 1));
  return finishFolding(x, pData + nPos, nLen - nPos);
}

CrcWay fastestWay() {
  __builtin_cpu_init();
  if (!__builtin_cpu_supports("pclmul") || !__builtin_cpu_supports("ssse3"))
    return CrcWay::Tables;
  if (__builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx2"))
    return CrcWay::WideClmul;
  return CrcWay::Clmul;
}

uint16_t crcBy(CrcWay eWay, const uint8_t *pData, size_t nLen) {
  switch (eWay) {
  case CrcWay::WideClmul:
    return crcByWideClmul(pData, nLen);
  case CrcWay::Clmul:
    return crcByClmul(pData, nLen);
  case CrcWay::Tables:
    break;
  }
  return crcByTables(0, pData, nLen);
}

#else

CrcWay fastestWay() {
  return CrcWay::Tables;
}
uint16_t crcBy(CrcWay, const uint8_t *pData, size_t nLen) {
  return crcByTables(0, pData, nLen);
}

#endif

const CrcWay g_eFastestWay = fastestWay();

} // namespace

uint16_t crc16Xmodem(const uint8_t *pData, size_t nLen) {
  return crcBy(g_eFastestWay, pData, nLen);
}

bool crc16XmodemCanUse(CrcWay eWay) {
  return eWay <= g_eFastestWay;
}

uint16_t crc16XmodemBy(CrcWay eWay, const uint8_t *pData, size_t nLen) {
  return crcBy(eWay, pData, nLen);
}

} // namespace zt::ip
