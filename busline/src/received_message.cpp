#include "received_message.h"

#include "message_head.h"
#include "mqtt_properties.h"

namespace busline {

void decodeReceivedMessage(const mosquitto_message *pMessage, const mosquitto_property *pProps,
                           ReceivedMessage &received) {
  received = ReceivedMessage{};
  received.pPayload = pMessage->payload;
  received.nPayloadLen = pMessage->payloadlen;
  HeadView head;
  if (pProps != nullptr) {
    int64_t nValue = 0;
    if (findUserProperty(pProps, "SN", nValue)) {
      received.uSN = uint32_t(nValue);
    }
    if (findUserProperty(pProps, "TYPE", nValue)) {
      received.nType = int32_t(uint32_t(nValue));
    }
    received.bHasResponseTopic = findUserProperty(pProps, "RESPONSETOPIC", received.strResponseTopic);
    findUserProperty(pProps, "SOURCEIPLIST", received.strIpList);
  } else if (isBuslineMessage(pMessage->payload, pMessage->payloadlen) &&
             getBuslineMessage(pMessage->payload, pMessage->payloadlen, head)) {
    received.pPayload = head.pBody;
    received.nPayloadLen = head.nBodyLen;
    received.uSN = head.uSN;
    received.nType = head.nType;
    received.bHasResponseTopic = head.pstrResponseTopic != nullptr;
    if (head.pstrResponseTopic != nullptr) {
      received.strResponseTopic = head.pstrResponseTopic;
    }
    if (head.pstrIpList != nullptr) {
      received.strIpList = head.pstrIpList;
    }
  }
}

} // namespace busline
