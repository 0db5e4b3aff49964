// Session key material: 32 bytes, a permutation of 0-15 followed by 16 random bytes, the
// 16-byte keystream derived from it and the masking of 32-byte values with it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zt::ip {

constexpr size_t kMaterialSize = 32;
constexpr size_t kKeystreamSize = 16;

// Fills pMaterial (32 bytes) from the operating system's cryptographic random source.
void generateKeyMaterial(uint8_t *pMaterial);

// K[k] = M[16 + M[k]] for k = 0-15. Only the low 4 bits of M[k] are used as the index, so
// material received from a peer can never point outside its 32 bytes.
void deriveKeystream(const uint8_t *pMaterial, uint8_t *pKeystream);

// pOut[k] = pIn[k] XOR K[k mod 16] for the 32 bytes of a value; masking twice restores it.
// pIn and pOut may be the same buffer.
void maskValue(const uint8_t *pMaterial, const uint8_t *pIn, uint8_t *pOut);

} // namespace zt::ip
