/* busline: MQTT sessions to one broker with sequence number, message type,
 * response topic and sender IP list carried beside each message. Plain C interface.
 *
 * Trust: busline_init and nm_mqtt_init_session check the broker against one CA: the file
 * named by the environment variable ZT_CA_FILE when it is set, else /etc/ztaccess/ca.crt
 * when that file exists, else the CA compiled into the library. No file is written. When
 * the chosen CA cannot be loaded they fail (null, -1) after one ERROR log line naming the
 * file; a session trusting the repository's test CA logs one WARN line. A session made with
 * busline_init_session trusts only what busline_set_tls gives it. The trust of a session made
 * with busline_init is fixed: busline_set_tls and busline_set_tls_option refuse it with -3.
 *
 * Threads:
 * - Every function may be called from any thread, also at the same time on one handle,
 *   except busline_exit: no other call may use the handle during or after it.
 * - Each handle has one network thread, started by busline_init or busline_connect, which
 *   runs both of the handle's callbacks, one call at a time. Only exception: a connect
 *   attempt that fails at once reports status 1 on the thread calling busline_init or
 *   busline_connect, before that call returns.
 * - A callback may call busline_publish, busline_subscribe, busline_unsubscribe and
 *   busline_get_connect_state, on its own handle or another. busline_exit (or nm_mqtt_exit)
 *   on its own handle is refused with one ERROR log line and the handle keeps running: stop
 *   it from another thread. A slow callback delays every message of its handle.
 * - When busline_exit returns, the handle's network thread has ended: no callback of that
 *   handle runs any more. busline_exit waits for a callback that is running.
 * - While connected, busline_exit first waits up to 2 s for the broker to acknowledge every
 *   QoS 1 and 2 message published on the handle, so that the last ones are not lost.
 * - Pointers handed to a callback (topic, payload, response topic, log text) are valid only
 *   during the call; copy what you keep. pUserData is passed back unchanged.
 * - The log callback of nm_set_log_func runs on whichever thread writes the line (callers'
 *   threads and network threads, possibly several at once). It must not call busline
 *   functions and must not throw.
 * - No C++ exception leaves a function: one that arises inside becomes the function's
 *   failure result (null, -1 for connect and init, -3 for other int results, 0 for
 *   busline_get_connect_state) and one ERROR log line.
 * - The texts of nm_get_sdk_version and nm_get_mqtt_version stay valid for the process. */
#ifndef BUSLINE_H
#define BUSLINE_H

#include <stdint.h>

#include "zt_module_info.h"
#include "zt_mqtt_callbacks.h"

#ifdef __cplusplus
extern "C" {
#endif

#define BUSLINE_API __attribute__((visibility("default")))

/* Opaque session handle. */
typedef struct BuslineHandle BuslineHandle;

/* Result codes: 0 success, -1 connect failed or message head not built,
 * -2 bad handle or argument, -3 refused by the MQTT library. */

BUSLINE_API BuslineHandle *busline_init(const char *pstrIP, int nPort, const char *pstrSessionId, int nCleanSession,
                                        int nProtocol, int nUseBuslineHead,
                                        nm_mqtt_connect_callback pMqttConnectCallback,
                                        nm_mqtt_recv_message_callback pMqttRecvMessageCallback, void *pUserData);
BUSLINE_API BuslineHandle *busline_init_session(const char *pstrSessionId, int nCleanSession, int nProtocol,
                                                int nUseBuslineHead, nm_mqtt_connect_callback pMqttConnectCallback,
                                                nm_mqtt_recv_message_callback pMqttRecvMessageCallback,
                                                void *pUserData);
BUSLINE_API int busline_set_module(BuslineHandle *pHandle, const char *pstrModule);
BUSLINE_API int busline_connect(BuslineHandle *pHandle, const char *pstrIP, int nPort, int nKeepalive,
                                const char *pstrBindAddress);
BUSLINE_API int busline_set_reconnect_delay(BuslineHandle *pHandle, int nReconnectDelay, int nReconnectDelayMax,
                                            int nReconnectExponentialBackoff);
BUSLINE_API int busline_set_will(BuslineHandle *pHandle, const char *pstrTopic, const void *pMessage, int nSize,
                                 int nQos, int nRetain, uint32_t uSN, int32_t nType);
BUSLINE_API int busline_clear_will(BuslineHandle *pHandle);
BUSLINE_API int busline_set_user_pwd(BuslineHandle *pHandle, const char *pstrUserName, const char *pstrPassword);
BUSLINE_API int busline_set_tls(BuslineHandle *pHandle, const char *pstrCafile, const char *pstrCertfile,
                                const char *pstrKeyfile, const char *pstrKeyPassword);
BUSLINE_API int busline_set_tls_option(BuslineHandle *pHandle, int nInsecure, int nCertReqs,
                                       const char *pstrTlsVersion, const char *pstrCiphers);
BUSLINE_API int busline_set_tls_psk(BuslineHandle *pHandle, const char *pstrIdentity, const char *pstrPSK,
                                    const char *pstrCiphers);
/* 1 connected, 0 otherwise (also for a bad handle). */
BUSLINE_API int busline_get_connect_state(BuslineHandle *pHandle);
BUSLINE_API int busline_subscribe(BuslineHandle *pHandle, const char *pstrTopic, int nQos);
BUSLINE_API int busline_unsubscribe(BuslineHandle *pHandle, const char *pstrTopic);
/* While not connected, QoS 0 fails with -3, while QoS 1 and 2 messages are kept and sent after
 * reconnecting (0; lost only if the handle exits first). */
BUSLINE_API int busline_publish(BuslineHandle *pHandle, const char *pstrTopic, const void *pMessage, int nSize,
                                int nQos, int nRetain, uint32_t uSN, int32_t nType, const char *pstrResponseTopic);
BUSLINE_API void busline_exit(BuslineHandle *pHandle);

/* The process-wide session (MQTT 3.1.1 with the message head). */
BUSLINE_API int nm_mqtt_init(const char *pstrIP, int nPort, const char *pstrSessionId, int nCleanSession,
                             nm_mqtt_connect_callback pMqttConnectCallback,
                             nm_mqtt_recv_message_callback pMqttRecvMessageCallback, void *pUserData);
BUSLINE_API int nm_mqtt_init_session(const char *pstrSessionId, int nCleanSession,
                                     nm_mqtt_connect_callback pMqttConnectCallback,
                                     nm_mqtt_recv_message_callback pMqttRecvMessageCallback, void *pUserData);
BUSLINE_API int nm_mqtt_connect(const char *pstrIP, int nPort);
BUSLINE_API int nm_mqtt_subscribe(const char *pstrTopic, int nQos);
BUSLINE_API int nm_mqtt_unsubscribe(const char *pstrTopic);
BUSLINE_API int nm_mqtt_publish(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                                uint32_t uSN, int32_t nType, const char *pstrResponseTopic);
BUSLINE_API int nm_mqtt_set_will(const char *pstrTopic, const void *pMessage, int nSize, int nQos, int nRetain,
                                 uint32_t uSN, int32_t nType);
BUSLINE_API int nm_mqtt_clear_will(void);
BUSLINE_API void nm_mqtt_exit(void);

/* Information. */
BUSLINE_API int nm_get_moduleinfo(ZtModuleInfo *pModuleInfo);
BUSLINE_API const char *nm_get_sdk_version(void);
BUSLINE_API const char *nm_get_mqtt_version(void);
/* pstrMac receives "XX:XX:XX:XX:XX:XX" (at least 18 bytes). 0, -1 null buffer, -5 adapter query failed,
 * -6 no adapter of that name. */
BUSLINE_API int nm_get_mac_addr_by_netname(char *pstrMac, const char *pstrNetName);

/* Log settings. */
BUSLINE_API void nm_set_log_func(nm_log_callback pCallback);
BUSLINE_API void nm_set_log_file(const char *pstrDir, const char *pstrName);
BUSLINE_API void nm_set_log_size(int nSizeMiB);
BUSLINE_API void nm_set_log_type(int nEnable, int nLevel);

#ifdef __cplusplus
}
#endif

#endif
