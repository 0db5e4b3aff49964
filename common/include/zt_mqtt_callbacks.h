/* The callback types of the MQTT session libraries, busline and topicbus. Plain C, shared
 * by their public headers. */
#ifndef ZT_MQTT_CALLBACKS_H
#define ZT_MQTT_CALLBACKS_H

#include <stdint.h>

/* nConnectStatus: 0 connected, 1 disconnected (an event stream, not a level). */
typedef void (*nm_mqtt_connect_callback)(int nConnectStatus, void *pUserData);

/* A received message, on the session's network thread; every pointer is valid only during
 * the call. uSN and nType are 0 and pstrResponseTopic is null when the message carries none. */
typedef void (*nm_mqtt_recv_message_callback)(const char *pstrSourceTopic, const void *pMessage, int nSize,
                                              int nQos, int nRetain, uint32_t uSN, int32_t nType,
                                              const char *pstrResponseTopic, void *pUserData);

/* Receives every log line that passes the level filter: level (0 fatal .. 7 debug), text, length. */
typedef void (*nm_log_callback)(int nLevel, const char *pstrText, int nLength);

#endif
