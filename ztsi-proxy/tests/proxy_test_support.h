// Pieces the proxy tests share: a temporary folder, a recorder standing in for the link where a
// bridge is tested alone, and a real driver (ztdm) and a real application (ztsi) on a broker.
#pragma once

#include "link_sender.h"
#include "ztdm.h"
#include "ztsi.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace zt::proxy::test {

using namespace std::chrono_literals;

class TempDir {
public:
  TempDir();
  ~TempDir();
  const std::string &path() const { return m_strPath; }
  // Writes a file below the folder (creating its directories); returns its path.
  std::string write(const std::string &strRelative, const std::string &strText) const;

private:
  std::string m_strPath;
};

std::string readFile(const std::string &strPath);

struct SentMessage {
  std::string strSocketId; // empty for sendCommand (the link's own socket)
  int nCmd = 0;
  int nStatus = 0;
  Json::Value body;
  std::string strSeqId;
};

// Records what a bridge sends; onSend (when set) runs for each message outside the lock.
class RecordingSender : public LinkSender {
public:
  bool sendCommand(int nCmd, const Json::Value &body, const std::string &strSeqId) override;
  bool sendCommandTo(const std::string &strSocketId, int nCmd, int nStatus, const Json::Value &body,
                     const std::string &strSeqId) override;

  std::vector<SentMessage> sent(int nCmd) const;
  // Waits until nCount messages of nCmd were sent; returns them.
  std::vector<SentMessage> waitSent(int nCmd, size_t nCount, std::chrono::milliseconds timeout = 5s) const;
  void clear();

  bool bSucceed = true;
  std::function<void(const SentMessage &)> onSend;

private:
  bool record(SentMessage message);
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_condition;
  std::vector<SentMessage> m_messages;
};

struct DriverRequest {
  std::string strDevId;
  int nCmd = 0; // 2 SetParam, 3 GetParam, 4 Ctrl, 5 QryStatus
  int nSn = 0;
  std::string strData;
};

// A driver on ztdm: every entry point records the request and answers with the code and text
// set for it. Only one at a time per process (the entry points carry no user value).
class TestDriver {
public:
  explicit TestDriver(int nBrokerPort);
  ~TestDriver();
  void addDevice(const std::string &strId, int nVdt);
  bool report(int nCmd, const std::string &strDevId, int nSn, const std::string &strData);
  std::vector<DriverRequest> waitRequests(size_t nCount, std::chrono::milliseconds timeout = 10s);

  void answerWith(int nCode, const std::string &strText);
  // Until released, GetConfig for strDevId blocks.
  void holdGetConfig(const std::string &strDevId);
  void release();

  ::ZtdmHandle *handle() const { return m_pHandle; }

private:
  ::ZtdmHandle *m_pHandle = nullptr;
};

// An answer as the application gets it: the response object {"cmd", "code", "desc"}.
struct AppAnswer {
  std::string strDevId;
  int nSn = 0;
  int nCode = 0;
  std::string strDesc;
};

// An application on ztsi: collects found devices, answers and reports.
class TestApp {
public:
  explicit TestApp(int nBrokerPort);
  ~TestApp();
  bool waitDevice(const std::string &strId, std::chrono::milliseconds timeout = 10s) const;
  bool knows(const std::string &strId) const;
  // Sends a request (2 SetParam, 3 GetParam, 4 Ctrl, 5 QryStatus) and waits for its answer.
  bool request(int nCmd, const std::string &strDevId, int nSn, const std::string &strData, AppAnswer &answer,
               std::chrono::milliseconds timeout = 10s);
  int send(int nCmd, const std::string &strDevId, int nSn, const std::string &strData);
  bool waitAnswer(int nSn, AppAnswer &answer, std::chrono::milliseconds timeout = 10s) const;
  // Reports seen: kind ("data", "status", "event") and data per device.
  std::vector<std::string> waitReports(const std::string &strKind, size_t nCount,
                                       std::chrono::milliseconds timeout = 10s) const;

  ::ZtsiHandle *handle() const { return m_pHandle; }

private:
  static void onFound(const char *pstrDevId, int nSn, const DeviceInfo *pInfo, void *pUser);
  static void onAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);
  static void onData(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);
  static void onStatus(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);
  static void onEvent(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);
  void addReport(const std::string &strKind, const char *pData, int nLen);

  ::ZtsiHandle *m_pHandle = nullptr;
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_condition;
  std::map<std::string, DeviceInfo> m_devices;
  std::map<int, AppAnswer> m_answers;
  std::map<std::string, std::vector<std::string>> m_reports;
};

} // namespace zt::proxy::test
