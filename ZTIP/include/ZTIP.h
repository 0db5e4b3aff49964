/* ZTIP: framed TCP and UDP links with heartbeats, connection management and
 * session encryption. Plain C interface; one-byte result codes, 0x01 is success. */
#ifndef ZTIP_H
#define ZTIP_H

#include <stdint.h>

#include "zt_module_info.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ZTIP_API __attribute__((visibility("default")))

/* The application's view of a frame head, in host order. On sending, producttype is
 * ignored (the library's own code goes on the wire); on receiving it holds the sender's. */
typedef struct ZTIP_Head_Para {
  uint16_t crypt_mode;
  uint8_t protocol_type;
  uint8_t func_code;
  uint16_t cmd;
  uint16_t status;
  uint8_t producttype;
  uint32_t unit_id;
  uint32_t session_id;
} ZTIP_Head_Para;

/* DES in ECB mode over len bytes in the library's bit order (the bits of every byte taken
 * from least to most significant). Encrypting pads a last partial block with zero bytes
 * and writes it whole, so out needs room for len rounded up to a multiple of 8; decrypting
 * ignores a partial block. in and out may be the same buffer. */
ZTIP_API void DesRun(const uint8_t *in, const uint8_t *key8, int encrypt, int len, uint8_t *out);

/* Two-key triple DES (K1 = key bytes 0-7, K2 = bytes 8-15), otherwise as DesRun. */
ZTIP_API void Des3Run(const uint8_t *in, const uint8_t *key16, int encrypt, int len, uint8_t *out);

/* Copies len bytes to out, pads them with zero bytes to a multiple of 8 and runs standard
 * DES in CBC mode in place, the IV being the key bytes in reverse order. Returns the
 * processed length, or 0 for a null pointer or len <= 0. */
ZTIP_API int DesCbcRun(const uint8_t *in, const uint8_t *key8, int encrypt, int len, uint8_t *out);

/* out[i] = in[i] XOR material32[16 + material32[i]] for i < len; its own inverse.
 * Returns 1, or 0 (nothing written) for a null pointer or a len outside 0-16. */
ZTIP_API int EncryptInfo(const uint8_t *in, uint8_t *out, const uint8_t *material32, int len);
ZTIP_API int DecryptInfo(const uint8_t *in, uint8_t *out, const uint8_t *material32, int len);

#ifdef __cplusplus
}
static_assert(sizeof(ZTIP_Head_Para) == 20, "ZTIP_Head_Para keeps its natural 20-byte layout");
#endif

#endif
