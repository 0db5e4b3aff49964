/* topicbus: a small MQTT 5 publish/subscribe client. One call creates a client, connects it
 * to a broker and starts its network thread; further calls subscribe, unsubscribe, publish
 * and stop. Every message carries its sequence number and type (and, when given, a response
 * topic) as MQTT 5 user properties "SN", "TYPE" and "RESPONSETOPIC".
 *
 * Connection modes: ZTM2045_Create and ZTM2045_CreateEx connect in plain MQTT with the
 * caller's user name and password; ZTM2045_CreateTLS over TLS, verifying the broker against
 * the CA that busline trusts (the file named by $ZT_CA_FILE, else /etc/ztaccess/ca.crt, else
 * the CA built in) with the fixed built-in credentials; ZTM2045_CreatePSK over TLS with a
 * pre-shared key (identity, key as hexadecimal text, optional cipher list) and the caller's
 * user name and password.
 *
 * Addresses are dotted IPv4 texts (no host names); ports 1 to 65535. Texts of session id,
 * user name, password, will topic, topics and response topics are at most 128 characters.
 *
 * Threads:
 * - Every function may be called from any thread. Subscribe, unsubscribe and publish may run
 *   concurrently on one handle; ZTM2045_Exit waits for those in progress, and every call made
 *   after it returns -4.
 * - Both callbacks run on the handle's network thread. They may call ZTM2045_Subscribe,
 *   ZTM2045_Unsubscribe and ZTM2045_Publish, but not ZTM2045_Exit on their own handle (refused
 *   with -2). Pointers passed to them are valid only during the call.
 * - The connection callback sees an event stream: 0 on every accepted connection, 1 on every
 *   loss, refusal (wrong credentials, not authorised) or failed attempt. After the network
 *   loop gives up, the client waits its keep-alive (60 s) before reconnecting; subscriptions
 *   are sent again on every connection.
 * - A handle's memory stays valid after ZTM2045_Exit (later calls on it return -4); it is
 *   released when the library is unloaded.
 * - No C++ exception leaves a function. */
#ifndef TOPICBUS_H
#define TOPICBUS_H

#include <stdint.h>

#include "zt_mqtt_callbacks.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TOPICBUS_API __attribute__((visibility("default")))

/* Opaque client handle. */
typedef struct TopicbusHandle TopicbusHandle;

/* Result codes: 0 success, -1 connection or credentials failed, -2 bad argument,
 * -3 refused by the MQTT library, -4 not initialised (or already exited). */

/* A running client, also when the broker cannot be reached yet (it keeps retrying);
 * null only when no memory. A client whose address, port or texts are invalid is
 * returned too, but every call on it gives -4. */
TOPICBUS_API TopicbusHandle *ZTM2045_Create(const char *pstrIP, int nPort, const char *pstrSessionId,
                                            int nCleanSession, const char *pstrUserName,
                                            const char *pstrPassword, nm_mqtt_connect_callback pConnectCallback,
                                            nm_mqtt_recv_message_callback pRecvMessageCallback,
                                            void *pUserData);
/* As ZTM2045_Create with a last will: pstrWillMessage (text without its zero byte) is
 * published on pstrWillTopic with QoS 1 when the connection is lost. No will when
 * pstrWillTopic is null; an invalid will (a topic over 128 characters, or a null message)
 * leaves a client that never connects. */
TOPICBUS_API TopicbusHandle *ZTM2045_CreateEx(const char *pstrIP, int nPort, const char *pstrSessionId,
                                              int nCleanSession, const char *pstrUserName,
                                              const char *pstrPassword, const char *pstrWillTopic,
                                              const char *pstrWillMessage, int nWillRetain,
                                              nm_mqtt_connect_callback pConnectCallback,
                                              nm_mqtt_recv_message_callback pRecvMessageCallback,
                                              void *pUserData);
/* As ZTM2045_CreateEx over TLS with the built-in credentials (pstrUserName and pstrPassword
 * are checked but not used). */
TOPICBUS_API TopicbusHandle *ZTM2045_CreateTLS(const char *pstrIP, int nPort, const char *pstrSessionId,
                                               int nCleanSession, const char *pstrUserName,
                                               const char *pstrPassword, const char *pstrWillTopic,
                                               const char *pstrWillMessage, int nWillRetain,
                                               nm_mqtt_connect_callback pConnectCallback,
                                               nm_mqtt_recv_message_callback pRecvMessageCallback,
                                               void *pUserData);
/* As ZTM2045_CreateEx over TLS with a pre-shared key. Null when the client cannot be set up
 * or its first connection attempt fails at once. */
TOPICBUS_API TopicbusHandle *ZTM2045_CreatePSK(const char *pstrIP, int nPort, const char *pstrSessionId,
                                               int nCleanSession, const char *pstrUserName,
                                               const char *pstrPassword, const char *pstrWillTopic,
                                               const char *pstrWillMessage, int nWillRetain,
                                               const char *pstrIdentity, const char *pstrPSK,
                                               const char *pstrCiphers, nm_mqtt_connect_callback pConnectCallback,
                                               nm_mqtt_recv_message_callback pRecvMessageCallback,
                                               void *pUserData);

/* Subscribes with the no-local option (own messages are not delivered back); nQos 0..2.
 * The subscription is kept and sent again on every connection. */
TOPICBUS_API int ZTM2045_Subscribe(TopicbusHandle *pHandle, const char *pstrTopic, int nQos);
/* Forgets every subscription of the topic and unsubscribes. */
TOPICBUS_API int ZTM2045_Unsubscribe(TopicbusHandle *pHandle, const char *pstrTopic);
/* pMessage: nSize bytes (null only with nSize 0); nQos 0..2; pstrResponseTopic may be null
 * or empty for none. While not connected, QoS 0 fails with -3, while QoS 1 and 2 messages are
 * kept and sent after reconnecting (0; lost only if the handle exits first). */
TOPICBUS_API int ZTM2045_Publish(TopicbusHandle *pHandle, const char *pstrTopic, const void *pMessage, int nSize,
                                 int nQos, int nRetain, uint32_t uSN, int32_t nType,
                                 const char *pstrResponseTopic);
/* Disconnects and stops the network thread: 0; -2 for a null handle or a call from the
 * handle's own callback; -4 when already exited or never initialised. */
TOPICBUS_API int ZTM2045_Exit(TopicbusHandle *pHandle);

/* Fills a 512-byte record of zero-terminated texts: offset 0 version, 64 build time,
 * 128 module type "ZTM2045", 192 module name "topicbus", 256 MQTT library text. 0, or -2
 * for a null pointer. */
TOPICBUS_API int ZTM2045_GetModuleInfo(void *pModuleInfo);
/* Every log line the library writes is also given to pCallback (level, text, length).
 * Returns its argument; null keeps the current callback. */
TOPICBUS_API nm_log_callback ZTM2045_SetLogCallback(nm_log_callback pCallback);

#ifdef __cplusplus
}
#endif

#endif
