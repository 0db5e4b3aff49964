/* busline comm: messages between applications on one machine through the local MQTT broker.
 * Each process takes an application id; messages carry a message id, a sequence number and a
 * command, and go either to one application (point to point) or to every subscriber
 * (broadcast). One callback per message id receives both kinds. Plain C interface.
 *
 * Broker: 127.0.0.1:1883, or the address in the environment variable ZT_LOCAL_BROKER
 * ("a.b.c.d:port", a dotted IPv4 address and a port of 1 to 65535), read at every comm_init
 * that creates the session. An invalid value is logged (WARN) and the default is used. The
 * session is secured and authenticated as busline_init's (see busline.h) and uses MQTT 3.1.1
 * with the message head.
 *
 * Ids: application ids and message ids are 1 to 36 characters, each one topic level: "/",
 * "+" and "#" are refused (-2).
 *
 * Results: 0 success; -1 session not created (comm_init); -2 bad argument, or comm_init not
 * called; -3 refused by the MQTT library, for instance before the broker has accepted the
 * connection: subscriptions are kept and made again on every connection, messages are lost.
 *
 * Threads:
 * - Every function may be called from any thread.
 * - Callbacks run on the session's network thread, one at a time, and may call every comm_
 *   function. comm_exit from a callback is refused with one ERROR log line when it would close
 *   the session: close it from another thread.
 * - When the comm_exit that closes the session returns, no callback runs any more.
 * - pstrSourceAppId, pstrMsgId and pMessage are valid only during the callback; copy what you
 *   keep. pUserData is passed back unchanged.
 * - No C++ exception leaves a function: one that arises inside becomes the failure result
 *   (-1 for comm_init, -3 otherwise) and one ERROR log line. */
#ifndef BUSLINE_COMM_H
#define BUSLINE_COMM_H

#include <stdint.h>

#include "busline.h"

#ifdef __cplusplus
extern "C" {
#endif

/* pstrSourceAppId: the sender; uSN and nCmd as the sender gave them. */
typedef void (*comm_msg_callback)(const char *pstrSourceAppId, const char *pstrMsgId, uint32_t uSN, int nCmd,
                                  const void *pMessage, int nSize, void *pUserData);

/* Opens the session under the application id, or counts one more user of the open session
 * (whose id stays). Every comm_init is matched by one comm_exit. */
BUSLINE_API int comm_init(const char *pstrAppId);
/* Point-to-point messages with this message id, from any application, go to pCallback. One
 * callback per message id: a later comm_subscribe or comm_subscribe_bc of the same id
 * replaces it for both kinds. */
BUSLINE_API int comm_subscribe(const char *pstrMsgId, comm_msg_callback pCallback, void *pUserData);
/* Broadcast messages with this message id go to pCallback. */
BUSLINE_API int comm_subscribe_bc(const char *pstrMsgId, comm_msg_callback pCallback, void *pUserData);
/* Forgets the message id's callback and ends the point-to-point (or broadcast) subscription. */
BUSLINE_API int comm_unsubscribe(const char *pstrMsgId);
BUSLINE_API int comm_unsubscribe_bc(const char *pstrMsgId);
/* Sends nSize bytes to application pstrAppId (pMessage may be null only with nSize 0). */
BUSLINE_API int comm_publish(const char *pstrAppId, const char *pstrMsgId, const void *pMessage, int nSize,
                             uint32_t uSN, int nCmd);
/* Sends nSize bytes to every application subscribed to the message id. */
BUSLINE_API int comm_publish_bc(const char *pstrMsgId, const void *pMessage, int nSize, uint32_t uSN,
                                int nCmd);
/* Closes the session when every comm_init has been matched. The callbacks stay registered. */
BUSLINE_API void comm_exit(void);

#ifdef __cplusplus
}
#endif

#endif
