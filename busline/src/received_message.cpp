#include "received_message.h"

#include "message_head.h"
#include "mqtt_properties.h"

namespace zt::bus {

void decodeReceivedMessage(const mosquitto_message *pMessage, const mosquitto_property *pProps,
                           bool bAcceptHead, ReceivedMessage &received) {
  received = ReceivedMessage{};
  received.pPayload = pMessage->payload;
  received.nPayloadLen = pMessage->payloadlen;
  HeadView head;
  if (pProps != nullptr) {
    MessageProperties &props = received.props;
    readMessageProperties(pProps, props);
    if (props.pstrSN) {
      received.uSN = uint32_t(propertyNumber(props.pstrSN.get()));
    }
    if (props.pstrType) {
      received.nType = int32_t(uint32_t(propertyNumber(props.pstrType.get())));
    }
    received.pstrResponseTopic = props.pstrResponseTopic.get();
    if (props.pstrIpList) {
      received.pstrIpList = props.pstrIpList.get();
    }
  } else if (bAcceptHead && isBuslineMessage(pMessage->payload, pMessage->payloadlen) &&
             getBuslineMessage(pMessage->payload, pMessage->payloadlen, head)) {
    received.pPayload = head.pBody;
    received.nPayloadLen = head.nBodyLen;
    received.uSN = head.uSN;
    received.nType = head.nType;
    received.pstrResponseTopic = head.pstrResponseTopic;
    if (head.pstrIpList != nullptr) {
      received.pstrIpList = head.pstrIpList;
    }
  }
}

} // namespace zt::bus
