// An application on ztsi that watches what the demo driver sends: found devices, reports and
// the answers to requests it sends itself.
#pragma once

#include "ztsi.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <json/json.h>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zt::test {

struct Delivery {
  std::string strDevId;
  int nSn = 0;
  std::string strData;
};

// The answer object {"cmd", "code", "desc"} of a request.
struct Answer {
  int nCode = 0;
  std::string strDesc;
};

class ObservingApplication {
public:
  // A ztsi instance on 127.0.0.1:nPort in the Normal run model.
  explicit ObservingApplication(int nPort);
  ~ObservingApplication();
  ObservingApplication(const ObservingApplication &) = delete;
  ObservingApplication &operator=(const ObservingApplication &) = delete;

  ZtsiHandle *handle() const { return m_pHandle; }

  // The records announced for a device id, in arrival order.
  std::vector<DeviceInfo> found(const std::string &strDevId);
  // Deliveries of "status", "data" or "event" reports.
  std::vector<Delivery> reports(const std::string &strKind);
  // Waits until pred holds over the recorded state.
  bool waitUntil(const std::function<bool()> &pred,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));
  void clearReports();

  // Requests that wait for their answer; nothing when none came in time.
  std::optional<Answer> setParam(const std::string &strDevId, const std::string &strData);
  std::optional<Answer> getParam(const std::string &strDevId);
  std::optional<Answer> ctrl(const std::string &strDevId, const std::string &strData);
  std::optional<Answer> qryStatus(const std::string &strDevId);

private:
  static void onFound(const char *pstrDevId, int nSn, const DeviceInfo *pInfo, void *pUserData);
  static void onStatus(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  static void onData(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  static void onEvent(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  static void onAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);

  void record(const std::string &strKind, const char *pstrDevId, int nSn, const char *pData, int nLen);
  // Sends with a fresh sn through send(sn) and waits for the answer of that sn.
  std::optional<Answer> request(const std::function<int(int)> &send);

  ZtsiHandle *m_pHandle = nullptr;
  std::mutex m_mutex;
  std::condition_variable m_cvChanged;
  int m_nNextSn = 5000;
  std::map<std::string, std::vector<DeviceInfo>> m_mapFound;
  std::map<std::string, std::vector<Delivery>> m_mapReports;
  std::map<int, std::string> m_mapAnswers;
};

} // namespace zt::test
