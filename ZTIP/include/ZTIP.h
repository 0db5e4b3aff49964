/* ZTIP: framed TCP and UDP links with heartbeats, connection management and
 * session encryption. Plain C interface; one-byte result codes, 0x01 is success. No C++
 * exception leaves a function: an internal failure is written to the library log and gives
 * 0x00 (functions without a one-byte result: nothing for void ones, 0 from DesCbcRun,
 * EncryptInfo and DecryptInfo, an empty text from getZTIPVersion, the value given from
 * ztIP_SetTimeOutValue).
 *
 * Threads. Every function may be called from any thread, including from inside the callbacks;
 * ztIP_Init and ztIP_Exit must not run concurrently with each other, and ztIP_Exit must not be
 * called from a callback (it joins the threads that run them). Received TCP frames reach their
 * receive callback on the library's callback thread, or on its priority callback thread for
 * the commands of ztIP_SetPriorityCMDSet, one frame at a time in arrival order; a frame of
 * 98,273 bytes or more is delivered on the TCP receive thread, but only after the frames of
 * its connection that the same callback thread still holds (so a blocked callback of that
 * thread holds back the TCP receive thread then too). The UDP receive, UDP record and window
 * receive callbacks run on the UDP receive thread. The connection notifies run on
 * the thread that called ztIP_StartTCPClient (outgoing connection made), the TCP receive
 * thread (accepted connection ready, connection closed by an error) or the status-refresh
 * thread (connection timed out or disconnected); the key-exchange result callback runs on the
 * TCP receive thread. A callback that blocks holds back everything else of its thread.
 * Pointers handed to a callback (data, address and port texts) are valid only during the
 * call. An exception thrown by a callback is logged and the library thread goes on. */
#ifndef ZTIP_H
#define ZTIP_H

#include <stdint.h>

#include "zt_module_info.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ZTIP_API __attribute__((visibility("default")))

/* The application's view of a frame head, in host order. On sending, producttype is
 * ignored (the library's own code goes on the wire); on receiving it holds the sender's. */
typedef struct ZTIP_Head_Para {
  uint16_t crypt_mode;
  uint8_t protocol_type;
  uint8_t func_code;
  uint16_t cmd;
  uint16_t status;
  uint8_t producttype;
  uint32_t unit_id;
  uint32_t session_id;
} ZTIP_Head_Para;

/* DES in ECB mode over len bytes in the library's bit order (the bits of every byte taken
 * from least to most significant). Encrypting pads a last partial block with zero bytes
 * and writes it whole, so out needs room for len rounded up to a multiple of 8; decrypting
 * ignores a partial block. in and out may be the same buffer. */
ZTIP_API void DesRun(const uint8_t *in, const uint8_t *key8, int encrypt, int len, uint8_t *out);

/* Two-key triple DES (K1 = key bytes 0-7, K2 = bytes 8-15), otherwise as DesRun. */
ZTIP_API void Des3Run(const uint8_t *in, const uint8_t *key16, int encrypt, int len, uint8_t *out);

/* Copies len bytes to out, pads them with zero bytes to a multiple of 8 and runs standard
 * DES in CBC mode in place, the IV being the key bytes in reverse order. Returns the
 * processed length, or 0 for a null pointer or len <= 0. */
ZTIP_API int DesCbcRun(const uint8_t *in, const uint8_t *key8, int encrypt, int len, uint8_t *out);

/* out[i] = in[i] XOR material32[16 + material32[i]] for i < len; its own inverse.
 * Returns 1, or 0 (nothing written) for a null pointer or a len outside 0-16. */
ZTIP_API int EncryptInfo(const uint8_t *in, uint8_t *out, const uint8_t *material32, int len);
ZTIP_API int DecryptInfo(const uint8_t *in, uint8_t *out, const uint8_t *material32, int len);

/* ---- Connections, frames and callbacks ---- */

/* Receive callback given to the start operations. For UDP, ip and port are null. data is
 * valid only during the call. */
typedef void (*ZTIP_RecvCallback)(uint16_t socketId, uint16_t serverSocketId, ZTIP_Head_Para head, uint32_t dataLen,
                                  const uint8_t *data, const char *ip, const char *port);

/* type 0 = outgoing TCP client, 1 = accepted by a server; status 1 = connected, 0 = disconnected. */
typedef void (*ZTIP_ConnectionNotify)(int type, int status, uint16_t socketId, const char *ip, int port);
/* The same behind a user value; called only when the user value is not null. */
typedef void (*ZTIP_WinConnectionNotify)(void *user, int type, int status, uint16_t socketId, const char *ip,
                                         int port);
/* Window receive callback, called for UDP datagrams. */
typedef void (*ZTIP_WinRecvCallback)(void *user, uint16_t socketId, uint16_t serverSocketId, ZTIP_Head_Para head,
                                     uint32_t dataLen, const uint8_t *data);

/* A received UDP frame for the UDP record callback: the head fields up to unit_id keep the
 * layout of ZTIP_Head_Para. data is valid only during the call. */
typedef struct ZtipUdpPacket {
  uint16_t socket_id;
  uint16_t server_socket_id;
  uint16_t crypt_mode;
  uint8_t protocol_type;
  uint8_t func_code;
  uint16_t cmd;
  uint16_t status;
  uint8_t producttype;
  uint32_t unit_id;
  uint32_t session_id;
  uint32_t data_len;
  const uint8_t *data;
  char ip[22];
  char port[10];
} ZtipUdpPacket;
typedef void (*ZTIP_UdpRecordCallback)(ZtipUdpPacket packet);

/* Called with the producttype of the last key-exchange frame whenever a key exchange
 * completes; returning 1 puts the 180-second key-exchange limit in force. */
typedef int (*ZTIP_KeyResultCallback)(int producttype);

/* One entry of ztIP_SocketIdList (52 bytes). */
typedef struct ZtipSocketEntry {
  int32_t socket_id;
  int32_t tcp;
  int32_t client;
  char ip[22];
  char port[10];
  uint32_t last_send_time;
  uint8_t producttype;
  uint8_t subtype;
  uint8_t reserved[2];
} ZtipSocketEntry;

ZTIP_API const char *getZTIPVersion(void);
ZTIP_API uint8_t ztIP_Moduleinfo(ZtModuleInfo *info);

/* mode 1 = debug (nothing encrypted), any other value = release. The three reserved
 * callbacks are not called; pass null. */
ZTIP_API uint8_t ztIP_Init(int mode, uint8_t producttype, uint8_t subtype, int reserved,
                           ZTIP_KeyResultCallback keyResult, void *reserved1, void *reserved2, void *reserved3);
ZTIP_API uint8_t ztIP_Exit(void);

ZTIP_API uint8_t ztIP_StartTCPServer(uint16_t *socketId, ZTIP_RecvCallback callback, const char *ip, int port);
ZTIP_API uint8_t ztIP_StartTCPClient(uint16_t *socketId, ZTIP_RecvCallback callback, const char *ip, int port);
ZTIP_API uint8_t ztIP_StartTCPClient_BindIP(uint16_t *socketId, ZTIP_RecvCallback callback, const char *ip,
                                            int port, const char *srcIp);
ZTIP_API uint8_t ztIP_StartUDPClient(uint16_t *socketId, const char *ip, int port, ZTIP_RecvCallback callback);
ZTIP_API uint8_t ztIP_StartUDPClient_BindDevice(uint16_t *socketId, const char *ip, int port,
                                                const char *deviceName, ZTIP_RecvCallback callback);
ZTIP_API uint8_t ztIP_StartUDPServer(uint16_t *socketId, ZTIP_RecvCallback callback, const char *ip,
                                     const char *deviceName, int port);
ZTIP_API uint8_t ztIP_Disconnect(uint16_t socketId);

ZTIP_API uint8_t ztIP_SendBySocketId(uint16_t socketId, ZTIP_Head_Para *head, int reserved, int dataLen,
                                     const uint8_t *data);
ZTIP_API uint8_t ztIP_TcpSendBy_IPPORT(const char *ip, int port, ZTIP_Head_Para *head, int reserved, int dataLen,
                                       const uint8_t *data, uint16_t *socketId);
ZTIP_API uint8_t ztIP_UdpSendTo(uint16_t socketId, ZTIP_Head_Para *head, int reserved, int dataLen,
                                const uint8_t *data, const char *destIp, int destPort);

/* The list stays valid until the next call or ztIP_Exit. */
ZTIP_API uint8_t ztIP_SocketIdList(ZtipSocketEntry **list, int *count);

ZTIP_API void ztIP_RegisterConnectionNotify(ZTIP_ConnectionNotify callback);
ZTIP_API void ztIP_RegisterWinConnectionNotify(void *user, ZTIP_WinConnectionNotify callback);
ZTIP_API uint8_t ztIP_RegisterWinCallback_BySockID(ZTIP_WinRecvCallback callback, void *user, uint16_t socketId);
ZTIP_API uint8_t ztIP_RegisterWinCallback_ByIPPORT(ZTIP_WinRecvCallback callback, void *user, const char *ip,
                                                   int port);
ZTIP_API uint8_t ztIP_RegisterUdpCallback_BySockID(ZTIP_UdpRecordCallback callback, uint16_t socketId);

ZTIP_API uint8_t ztIP_SetSendBuff_BySockID(int size, uint16_t socketId);
ZTIP_API uint8_t ztIP_SetSendBuff_ByIPPORT(int size, const char *ip, int port);
/* At most 45 codes; frames with these commands are delivered by the priority thread. */
ZTIP_API uint8_t ztIP_SetPriorityCMDSet(const uint16_t *cmds, int count);
/* Receive time-out in seconds, taken when 5-60; returns the value given. */
ZTIP_API int ztIP_SetTimeOutValue(int seconds);
ZTIP_API uint8_t ztIP_SyncTimeByServer(const char *serverIp);

/* Library log switches; they keep their values across ztIP_Exit. */
ZTIP_API void ztIP_SetLogFlag(int on);
ZTIP_API void ztIP_SetLogLevel(int minimum);
ZTIP_API void ztIP_SetCompleteLog(int on);
ZTIP_API void ztIP_SetTransLog(uint8_t on);
/* One plain frame from a UDP socket to 255.255.255.255 on port. */
ZTIP_API uint8_t ztIP_UdpTransLog(uint16_t socketId, ZTIP_Head_Para *head, int reserved, int len,
                                  const uint8_t *message, int port);

#ifdef __cplusplus
}
static_assert(sizeof(ZTIP_Head_Para) == 20, "ZTIP_Head_Para keeps its natural 20-byte layout");
static_assert(sizeof(ZtipSocketEntry) == 52, "a socket list entry is 52 bytes");
#endif

#endif
