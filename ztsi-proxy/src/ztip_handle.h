// The link between the two proxies: one ZTIP TCP connection, made by the client-mode proxy
// and accepted by the server-mode one. The link thread connects (or listens) and retries
// every 10 s, and in client mode sends a heartbeat every nHeartbeatTimeoutS ticks. Received
// messages go to the bridge of the mode: heartbeats are handled here.
//
// Threads: init and release from one controlling thread; the send functions from any thread;
// the ZTIP entry points run on ZTIP's threads.
#pragma once

#include "ZTIP.h"
#include "global_data.h"
#include "link_sender.h"
#include "link_timings.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace zt::proxy {

class ZtsiHandle;
class ZtdmHandle;
struct ReceivedMessage;

class ZtipHandle : public LinkSender {
public:
  ZtipHandle(GlobalData &data, LinkTimings timings = LinkTimings());
  ~ZtipHandle() override;
  ZtipHandle(const ZtipHandle &) = delete;
  ZtipHandle &operator=(const ZtipHandle &) = delete;

  // The bridge that receives the link's messages; set before init.
  void attachBridge(ZtsiHandle *pClientBridge) { m_pClientBridge = pClientBridge; }
  void attachBridge(ZtdmHandle *pServerBridge) { m_pServerBridge = pServerBridge; }

  void init();
  void release();
  bool connected() const;

  bool sendCommand(int nCmd, const Json::Value &body, const std::string &strSeqId = std::string()) override;
  bool sendCommandTo(const std::string &strSocketId, int nCmd, int nStatus, const Json::Value &body,
                     const std::string &strSeqId = std::string()) override;
  std::string buildMessage(int nCmd, int nStatus, const Json::Value &body, const std::string &strSeqId);
  bool sendMessage(const std::string &strSocketId, int nCmd, int nStatus, const std::string &strMessage);

  // From ZTIP (through the router).
  void onZtipRecvCallback(uint16_t uSocketId, const ZTIP_Head_Para &head, const uint8_t *pData, uint32_t uLen);
  void onZtipConnectionNotify(int nType, int nStatus, uint16_t uSocketId, const char *pstrIp, int nPort);

private:
  void routine();
  void checkConnect();
  void sendHeartbeat();
  void onHeartbeat(const std::string &strSocketId, const ReceivedMessage &message);
  void handleMessage(const std::string &strSocketId, const std::string &strText);
  // Client mode: the server forgets this link's devices when it goes, so they must be
  // registered again once it is back.
  void linkLost();

  GlobalData &m_data;
  const LinkTimings m_timings;
  ZtsiHandle *m_pClientBridge = nullptr;
  ZtdmHandle *m_pServerBridge = nullptr;

  mutable std::recursive_mutex m_mutex; // connect attempts and connection notices
  bool m_bConnected = false;
  bool m_bAttempted = false;
  uint64_t m_uLastAttemptMs = 0;

  std::thread m_thread;
  std::mutex m_runMutex;
  std::condition_variable m_runCondition;
  bool m_bRun = false;
  bool m_bAttached = false;

  std::atomic<uint32_t> m_uMessageCounter{0};
  std::atomic<uint32_t> m_uSessionCounter{0};
  uint32_t m_uTicks = 0;             // link thread only
  bool m_bHeartbeatPending = false; // link thread only: the last one could not be sent
};

} // namespace zt::proxy
