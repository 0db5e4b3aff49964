// Building a frame for sending: payload limit, automatic crypt mode, the release-mode key
// gate, encryption with DES padding, check sum and head.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ZTIP.h"
#include "codec/ztip_head.h"
#include "codec/ztip_payload_cipher.h"

namespace zt::ip {

constexpr size_t kMaxSendPayload = 2457600;
constexpr size_t kMaxUdpSendFrame = 8192;

// What the sending side contributes to every frame.
struct FrameSender {
  uint8_t uProductType = 0; // from ztIP_Init, on the wire instead of the caller's
  uint8_t uSubType = 0;
  bool bReleaseMode = true;
  bool bTcp = true;
};

// Builds the whole frame (head and payload) into vecFrame, which may hold an earlier frame
// (its storage is reused). Returns 1, 0xC2 (payload over
// 2,457,600 bytes), 0xC3 (release TCP connection without agreed keys, unless a key-exchange
// command), 0xC5 (UDP frame over 8,192 bytes), 0xCC/0xCD/0xCE (encryption failed), or 0x00
// for a negative length or a missing payload pointer. Encryption happens only for release
// mode on TCP; the DES family then pads with zero bytes and records the padding in pad_flag.
uint8_t buildFrame(const FrameSender &sender, const ZtipKeys &keys, const ZTIP_Head_Para &para,
                   const uint8_t *pData, int nLen, std::vector<uint8_t> &vecFrame);

// Head and payload exactly as given (pad_flag, crypt_mode and payload untouched), with the
// sender's codes and the check sum over the payload. For frames that bypass the crypt
// steps, such as UDP send-to.
void assembleFrame(const FrameSender &sender, const ZTIP_Head_Para &para, uint8_t uPadFlag,
                   const uint8_t *pPayload, size_t nLen, std::vector<uint8_t> &vecFrame);

// The 32-byte heartbeat frame: session_id 0x00001235, the last application unit_id,
// protocol_type 0x80, func_code 0x41, cmd 0x0706, no payload.
void buildHeartbeatFrame(const FrameSender &sender, uint32_t uLastUnitId, uint8_t *pOut);

// The head of a key-exchange frame (crypt_mode 0, protocol_type 0x80, func_code 0x10,
// session and unit id 0) for cmd 0x0606/0x0607 and the given status.
ZTIP_Head_Para keyExchangePara(uint16_t uCmd, uint16_t uStatus);

} // namespace zt::ip
