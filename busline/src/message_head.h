// The message head that carries SN, type, response topic and the sender's IP list in
// front of the body when a session speaks MQTT 3.1 or 3.1.1. All words are 32-bit,
// big-endian:
//   0 magic "MQTT" | 4 SN | 8 type | 12 response topic length | 16 response topic offset
//  20 body length | 24 body offset | 28 body checksum | 32 extension marker | 36 reserved
//  40 IP list length | 44 IP list offset | 48 IP list, response topic, body (no padding)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace zt::bus {

constexpr uint32_t kHeadMagic = 0x4D515454;
constexpr uint32_t kHeadExtensionMarker = 0xABCDEF02;
constexpr size_t kHeadSize = 48;

// The 32-bit checksum register over a body; its low 16 bits are the CRC-16/XMODEM.
uint32_t bodyChecksum(const uint8_t *pData, size_t nLen);

// A built payload (head, IP list, response topic, body); empty when the body was empty.
class HeadMessage {
public:
  HeadMessage() = default;
  ~HeadMessage() { std::free(m_pData); }
  HeadMessage(const HeadMessage &) = delete;
  HeadMessage &operator=(const HeadMessage &) = delete;

  const uint8_t *data() const { return m_pData; }
  int size() const { return m_nSize; }

private:
  friend bool genBuslineMessage(uint32_t, int32_t, const void *, int, const char *, const std::string &,
                                HeadMessage &);
  uint8_t *m_pData = nullptr;
  int m_nSize = 0;
};

// Builds the payload for a body. A null or empty body gives an empty payload without head.
// pstrResponseTopic null means none; an empty one is carried as a lone zero byte.
// False when the payload cannot be allocated or would not fit an MQTT payload length.
bool genBuslineMessage(uint32_t uSN, int32_t nType, const void *pBody, int nBodyLen,
                       const char *pstrResponseTopic, const std::string &strIpList, HeadMessage &message);

// Whether a received payload is a message head with an intact body.
bool isBuslineMessage(const void *pPayload, int nPayloadLen);

// What a head says; every pointer points into the payload.
struct HeadView {
  uint32_t uSN = 0;
  int32_t nType = 0;
  const uint8_t *pBody = nullptr;
  int nBodyLen = 0;
  const char *pstrResponseTopic = nullptr; // null when absent
  const char *pstrIpList = nullptr;        // null when absent
};

// Reads a payload that passed isBuslineMessage. A response topic or IP list that does not
// lie inside the payload, or has no terminating zero inside its field, is treated as absent.
bool getBuslineMessage(const void *pPayload, int nPayloadLen, HeadView &view);

} // namespace zt::bus
