// Arbitrary payloads through the head validity test, the head reader and the decoding
// a received message goes through; every text and body the reader yields is read in full.
#include <cstdint>
#include <cstring>
#include <mosquitto.h>
#include <vector>

#include "message_head.h"
#include "received_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
  if (nSize > (1u << 20)) {
    return 0;
  }
  // An exact-size copy, so that reading past the payload is caught.
  std::vector<uint8_t> vecPayload(pData, pData + nSize);
  const void *pPayload = vecPayload.empty() ? nullptr : vecPayload.data();
  int nLen = int(nSize);
  volatile size_t nSink = 0;
  if (zt::bus::isBuslineMessage(pPayload, nLen)) {
    zt::bus::HeadView view;
    if (zt::bus::getBuslineMessage(pPayload, nLen, view)) {
      for (int i = 0; i < view.nBodyLen; ++i) {
        nSink = nSink + view.pBody[i];
      }
      if (view.pstrResponseTopic != nullptr) {
        nSink = nSink + std::strlen(view.pstrResponseTopic);
      }
      if (view.pstrIpList != nullptr) {
        nSink = nSink + std::strlen(view.pstrIpList);
      }
    }
  }
  mosquitto_message message{};
  message.topic = const_cast<char *>("fuzz");
  message.payload = vecPayload.empty() ? nullptr : vecPayload.data();
  message.payloadlen = nLen;
  zt::bus::ReceivedMessage received;
  zt::bus::decodeReceivedMessage(&message, nullptr, true, received);
  const auto *pBody = static_cast<const uint8_t *>(received.pPayload);
  for (int i = 0; i < received.nPayloadLen; ++i) {
    nSink = nSink + pBody[i];
  }
  (void)nSink;
  return 0;
}
