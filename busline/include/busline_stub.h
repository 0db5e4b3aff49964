/* busline stub: resources of this process exposed to the network-management service through
 * the local MQTT broker. A resource id is also the MQTT topic of the resource: requests on it
 * reach the resource's callback; registrations (message type 100) and notifications (type 101)
 * go to the management service on "nm/up/stub-nms/<MAC address of the first adapter>";
 * retained states are published on the resource topics and published again after every
 * connection. Plain C interface.
 *
 * Broker: 127.0.0.1:1883, or the address in the environment variable ZT_LOCAL_BROKER
 * ("a.b.c.d:port", a dotted IPv4 address and a port of 1 to 65535), read at every
 * nm_stub_init that creates the session. An invalid value is logged (WARN) and the default is
 * used. The session is secured and authenticated as busline_init's (see busline.h) and uses
 * MQTT 3.1.1 with the message head, module name "stubsdk".
 *
 * Results: 0 success; -2 bad argument (resource ids and topics of 1 to 128 characters;
 * pData or pMessage null only with size 0); -4 nm_stub_init not called; -9 not connected
 * (nm_stub_publish_3); else the result of busline_subscribe, busline_unsubscribe or
 * busline_publish (while not connected, QoS 0 messages fail with -3 and are lost, QoS 1 and 2
 * messages are kept and sent after reconnecting; subscriptions and retained states are sent
 * again on the next connection).
 *
 * Threads:
 * - Every function may be called from any thread.
 * - The callbacks run on the session's network thread, one at a time, and may call every
 *   nm_stub_ function. nm_stub_exit from a callback is refused with one ERROR log line: close
 *   the session from another thread. On a connection the retained states are published before
 *   the connection callback runs.
 * - Exception: when the first connect fails at once, status 1 is reported on the thread that
 *   calls nm_stub_init, before it returns; nm_stub_init from that callback returns 0 and
 *   nm_stub_exit is refused there as well.
 * - When nm_stub_exit returns, no callback runs any more.
 * - Pointers handed to a callback are valid only during the call; copy what you keep.
 * - No C++ exception leaves a function: one that arises inside becomes the failure result
 *   (-1 for nm_stub_init, -3 otherwise) and one ERROR log line. */
#ifndef BUSLINE_STUB_H
#define BUSLINE_STUB_H

#include <stdint.h>

#include "busline.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A request on a registered resource: its topic and payload. */
typedef void (*nm_stub_resource_callback)(const char *pstrTopic, const void *pData, int nSize);
/* nConnectStatus: 0 connected, 1 disconnected. The result is not used. */
typedef int (*nm_stub_connect_callback)(int nConnectStatus);

/* Opens the session once; later calls return 0. 0, or -1 when no session could be made. */
BUSLINE_API int nm_stub_init(void);
BUSLINE_API void nm_stub_set_connect_callback(nm_stub_connect_callback pCallback);
/* Subscribes to the resource topic (QoS 2) and sends its registration (QoS 1). */
BUSLINE_API int nm_stub_register(const char *pstrResourceId, nm_stub_resource_callback pCallback);
/* Forgets the resource and ends its subscription; its retained state stays. */
BUSLINE_API int nm_stub_unregister(const char *pstrResourceId);
/* A notification to the management service (QoS 2). */
BUSLINE_API int nm_stub_notify(const char *pstrResourceId, const void *pData, int nSize);
/* The resource's state, published retained on its topic (QoS 2) and kept: the last one of each
 * resource is published again on every connection, in resource-id order. */
BUSLINE_API int nm_stub_notify_retained(const char *pstrResourceId, const void *pData, int nSize);
/* A message of type nType on the resource topic (QoS 1). */
BUSLINE_API int nm_stub_publish(const char *pstrResourceId, const void *pData, int nSize, int nType);
/* Messages whose topic equals pstrTopic go to pCallback (pUserData null). */
BUSLINE_API int nm_stub_subscribe(const char *pstrTopic, int nQos, nm_mqtt_recv_message_callback pCallback);
BUSLINE_API int nm_stub_unsubscribe(const char *pstrTopic);
/* busline_publish on the stub session. */
BUSLINE_API int nm_stub_publish_2(const char *pstrTopic, const void *pMessage, int nSize, int nQos,
                                  int nRetain, uint32_t uSN, int32_t nType, const char *pstrResponseTopic);
/* The same, only while connected: -9, and nothing sent, otherwise. */
BUSLINE_API int nm_stub_publish_3(const char *pstrTopic, const void *pMessage, int nSize, int nQos,
                                  int nRetain, uint32_t uSN, int32_t nType, const char *pstrResponseTopic);
/* Closes the session. Resources, retained states and the connection callback are kept for
 * the next nm_stub_init. */
BUSLINE_API void nm_stub_exit(void);

#ifdef __cplusplus
}
#endif

#endif
