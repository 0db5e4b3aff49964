/* ztmq: named tasks that send byte messages to each other over ZeroMQ, in one process
 * (inproc) or between processes and hosts (tcp), directly or through a proxy task.
 * Plain C interface; results are 0 for success or a negative code:
 *   -1 null argument (or data missing for a positive length, or a negative length)
 *   -2 sending socket not connected       -3 message not taken by ZeroMQ (partial send)
 *   -4 destination not reachable          -5 id (or address) longer than 63 characters
 *   -6 empty id                           -7 the task already receives
 *  -10 socket could not be created (the process holds ZMQ_MAX_SOCKETS, 1024, sockets)
 *  -12 empty address                     -15 address refused
 *  -16 out of memory; any other negative value is a ZeroMQ result.
 * No C++ exception leaves a function: an internal failure is logged and gives a negative code
 * (nothing for ZTDestroyTask, an empty text for ZTConfigGetProxy).
 *
 * Addresses. A task id lives at its configured address (ZTConfigSetAddr); without one, its
 * id is its address. "a.b.c.d:port" (a dotted IPv4 address and a port of 1024 to 65535) is
 * a tcp endpoint, anything without ":" an in-process name. A task receiving a message
 * learns the sender's address from it when it has none for that id, so replies find their
 * way back. Ids and addresses are at most 63 characters.
 *
 * Threads. Every function may be called from any thread, including from inside the
 * callbacks. Each receiving task has one receive thread of its own, which calls its receive
 * and idle callbacks one at a time; a callback that blocks holds back the task's next
 * messages (the sender's queue holds 100 messages, then its sends fail). Sends from one task
 * are serialised, so one task's messages arrive in the order they were sent; a send waits at
 * most about 100 ms per message part for a peer that does not take it, and the first send to a
 * tcp peer that accepted the connection up to a second more for ZeroMQ's handshake with it.
 * Pointers handed to a callback (source, data, the ZtmqRecvInfo record and its texts) are
 * valid only during the call; copy what you keep. The data of a received message is
 * followed by a zero byte that is not counted in its size.
 *
 * Destroying. ZTDestroyTask may be called at any time from any thread, also while other
 * threads send from or to the task and from inside any callback (its own task's included).
 * No callback of the task starts once it has been called. Called outside the callbacks it
 * returns after the task's running callback has returned and the task is gone; called from
 * inside a callback it returns at once and the task is torn down on a thread of its own once
 * its callback has returned, after which its id and address can be used again.
 * A send from an id that does not exist creates that task (bound at its address, without
 * receiving) on the spot. */
#ifndef ZTMQ_H
#define ZTMQ_H

#ifdef __cplusplus
extern "C" {
#endif

#define ZTMQ_API __attribute__((visibility("default")))

/* The longest id or address, and the buffer ZTConfigGetAddr needs. */
#define ZTMQ_MAX_ID_LENGTH 63
#define ZTMQ_ADDR_BUFFER_SIZE 64

/* What the extended receive callback learns about a message. */
typedef struct ZtmqRecvInfo {
  int sn;               /* the sender's sequence number */
  const char *src_addr; /* where replies to the source go (a proxy's address when it came through one) */
  const char *dest;     /* the final destination id */
  const char *proxy;    /* the receiving task's id when it is not the destination (it acts as
                           proxy), else null */
} ZtmqRecvInfo;

/* A message for a task created with ZTCreateTask or ZTCreateTaskWithIdleCallback. */
typedef void (*ZtmqRecvCallback)(const char *source, const char *data, int size, int sn, void *user);
/* A message for a task created with ZTCreateTaskEx or ZTCreateProxyTask. */
typedef void (*ZtmqRecvCallbackEx)(const char *source, const char *data, int size, void *user,
                                   const ZtmqRecvInfo *info);
/* Called on the receive thread after about a second without messages, and at most once a
 * second while messages arrive. */
typedef void (*ZtmqIdleCallback)(void *user);
/* Sees every line ztmq logs (level 0 fatal to 7 debug, text without line end). It runs on the
 * thread that logs, possibly while ztmq holds its locks: it must not call any ZT function. */
typedef void (*ZtmqLogFunc)(int level, const char *text);

/* Fills a 256-byte record of four zero-terminated 64-byte texts (version, build time, module
 * type, module name) and touches nothing else. 0; -1 for a null pointer. */
ZTMQ_API int ZTModuleInfo(void *record);

/* Every later log line is also handed to func. 0; -1 for null. */
ZTMQ_API int ZTSetLogFunc(ZtmqLogFunc func);

/* Creates the task id, bound at its address, and starts receiving into callback. -1 for a null
 * id or callback; -7 when the task already receives (it keeps its callback). */
ZTMQ_API int ZTCreateTask(const char *id, ZtmqRecvCallback callback, void *user);
/* As ZTCreateTask; idle (may be null) is called as described at ZtmqIdleCallback. */
ZTMQ_API int ZTCreateTaskWithIdleCallback(const char *id, ZtmqRecvCallback callback, ZtmqIdleCallback idle,
                                          void *user);
/* As ZTCreateTaskWithIdleCallback with the extended callback. */
ZTMQ_API int ZTCreateTaskEx(const char *id, ZtmqRecvCallbackEx callback, ZtmqIdleCallback idle, void *user);
/* A task that also receives messages whose destination is another task (sent to it because it
 * is configured as their proxy); their record names the destination in dest and this task in
 * proxy. The task then becomes the proxy of that destination in this process, and usually
 * forwards the message with ZTProxySendMessage. */
ZTMQ_API int ZTCreateProxyTask(const char *id, ZtmqRecvCallbackEx callback, ZtmqIdleCallback idle, void *user);
/* Stops and removes the task (null is taken as the empty id); see Destroying above. */
ZTMQ_API void ZTDestroyTask(const char *id);

/* Sends length bytes from task source to task dest, through the proxy configured for dest if
 * there is one. Before the message, a probe checks that the peer takes messages: -4 when it
 * does not (within about 100 ms; at once for an in-process name no task has bound). A null
 * source is the empty id: a task that only sends and gives no reply address. -6 for an empty
 * dest. */
ZTMQ_API int ZTSendMessage(const char *source, const char *dest, const void *data, int length, int sn);
/* Task proxy sends to dest on behalf of source: the receiver sees source as sender and the
 * proxy's address as the reply address. */
ZTMQ_API int ZTProxySendMessage(const char *proxy, const char *source, const char *dest, const char *data,
                                int length, int sn);

/* Sets the address of id: "a.b.c.d:port" with a port of 1024 to 65535, or a name without ":".
 * 0; -6 null id; -12 empty (or null) address; -15 an address refused or longer than 63
 * characters. A task keeps the address it was created with; senders use the new one. */
ZTMQ_API int ZTConfigSetAddr(const char *id, const char *addr);
/* Copies the address of id (id itself when none is set, which then becomes its address) with
 * its zero into out, at most ZTMQ_ADDR_BUFFER_SIZE (64) bytes. 0; -1 null out; -6 null id;
 * -5 an id longer than 63 characters without an address. */
ZTMQ_API int ZTConfigGetAddr(const char *id, char *out);
/* 0 when id has an address, -1 otherwise (also for null). */
ZTMQ_API int ZTConfigIDIsSet(const char *id);
ZTMQ_API int ZTConfigIDIsSetFast(const char *id);
/* Messages to id go through task proxy (null or empty: directly again). 0; -6 null id. */
ZTMQ_API int ZTConfigSetProxy(const char *id, const char *proxy);
/* The proxy of id, empty when none (never null). The text stays valid until the next
 * ZTConfigGetProxy call of the same thread. */
ZTMQ_API const char *ZTConfigGetProxy(const char *id);

#ifdef __cplusplus
}
#endif

#endif
