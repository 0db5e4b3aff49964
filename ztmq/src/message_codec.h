// The 200-byte header in front of every ztmq message and the decoder of received messages.
//
// | offset | width | field                                   |
// |      0 |    64 | src_addr: reply address of the sender    |
// |     64 |    64 | source: id of the sending task           |
// |    128 |    64 | dest: id of the final destination task   |
// |    192 |     4 | sn, little-endian                        |
// |    196 |     4 | version mark "0.1V"                      |
// Each text field is zero-terminated within its 64 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zt::mq {

constexpr size_t kHeaderSize = 200;
constexpr size_t kFieldSize = 64;
// The longest id or address a header field holds.
constexpr size_t kMaxIdLength = kFieldSize - 1;

// Fills pHeader (kHeaderSize bytes). Texts longer than kMaxIdLength are cut; callers refuse them
// before they get here.
void encodeHeader(uint8_t *pHeader, const std::string &strSrcAddr, const std::string &strSource,
                  const std::string &strDest, int32_t nSn);

// A received message as the receive callbacks see it; the pointers point into the received buffer.
struct DecodedMessage {
  const char *pstrSrcAddr;
  const char *pstrSource;
  const char *pstrDest;
  int32_t nSn;
  const char *pData;
  size_t nSize;
};

// False for anything that is not a whole message: shorter than the header, a wrong version
// mark, or a text field without its terminating zero.
bool decodeMessage(const uint8_t *pMessage, size_t nLength, DecodedMessage &message);

} // namespace zt::mq
