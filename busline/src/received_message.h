// Turns a received MQTT message into what the user callback gets: by its MQTT 5 user
// properties when it has any, else (when bAcceptHead) by its message head when the payload is
// one, else whole.
#pragma once

#include <cstdint>
#include <mosquitto.h>

#include "mqtt_properties.h"

namespace zt::bus {

struct ReceivedMessage {
  const void *pPayload = nullptr; // points into the library's message
  int nPayloadLen = 0;
  uint32_t uSN = 0;
  int32_t nType = 0;
  const char *pstrResponseTopic = nullptr; // null when the message has none
  const char *pstrIpList = "";             // only logged
  // The property texts the pointers above refer to; a head's texts stay in the payload.
  MessageProperties props;
};

void decodeReceivedMessage(const mosquitto_message *pMessage, const mosquitto_property *pProps,
                           bool bAcceptHead, ReceivedMessage &received);

} // namespace zt::bus
