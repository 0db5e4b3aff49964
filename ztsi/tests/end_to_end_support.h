// A driver on ztdm and an application on ztsi, both on the real local broker: the driver's
// entry points answer by device id, and the application records everything it is handed.
#pragma once

#include "ztdm.h"
#include "ztsi.h"

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zt::test {

constexpr int kVdtGate = 16;
constexpr int kVdtReader = 14;
// Devices ("SLOW", "LATE", "QUIET") whose driver defers its answer for this long (ms), or practically
// forever.
constexpr int kShortDeferralMs = 250;
constexpr int kLateDeferralMs = 1500;
constexpr int kEndlessDeferralMs = 600000;
// The failure code the driver returns for the device "FAIL".
constexpr int kDriverFailure = 7;

// Registers the gate and reader drivers and devices on a ztdm instance.
class TestDriver {
public:
  explicit TestDriver(int nPort);
  ~TestDriver();
  TestDriver(const TestDriver &) = delete;
  TestDriver &operator=(const TestDriver &) = delete;

  bool valid() const { return m_pHandle != nullptr; }
  ZtdmHandle *handle() const { return m_pHandle; }
  void addDevice(const std::string &strId, const std::string &strPid, int nVdt);

private:
  ZtdmHandle *m_pHandle = nullptr;
};

// What a callback was handed.
struct Delivery {
  std::string strDevId;
  int nSn = 0;
  std::string strData;
  std::thread::id threadId;
};

// The application: a ztsi instance whose user data is this object.
class TestApp {
public:
  explicit TestApp(int nPort, int nRunModel = 0);
  ~TestApp();
  TestApp(const TestApp &) = delete;
  TestApp &operator=(const TestApp &) = delete;

  ZtsiHandle *handle() const { return m_pHandle; }
  // Sends discoveries until the device has been announced; false after the timeout.
  bool discover(const std::string &strDevId, std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // Whether the found-device callback was handed the device.
  bool hasFound(const std::string &strDevId);
  // Records under the channel name: "found", "replayed", "answer", "status", "data", "event"...
  void record(const std::string &strChannel, const char *pstrDevId, int nSn, const char *pData, int nLen);
  std::vector<Delivery> deliveries(const std::string &strChannel);
  size_t count(const std::string &strChannel);
  // Waits until the channel holds at least nCount deliveries.
  bool waitCount(const std::string &strChannel, size_t nCount,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // The deliveries of a channel for one sn.
  std::vector<Delivery> withSn(const std::string &strChannel, int nSn);

  // Callbacks of each channel (the user data is the TestApp).
  static void onFound(const char *pstrDevId, int nSn, const DeviceInfo *pInfo, void *pUserData);
  static void onReplayed(const char *pstrDevId, int nSn, const DeviceInfo *pInfo, void *pUserData);
  static void onAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  static void onOtherAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  static void onStatus(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  static void onData(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);
  static void onEvent(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData);

private:
  ZtsiHandle *m_pHandle = nullptr;
  std::mutex m_mutex;
  std::map<std::string, std::vector<Delivery>> m_mapDeliveries;
};

// "cmd", "code" and "desc" of an answer; code -1000 when it is not such an object.
struct ParsedAnswer {
  int nCmd = -1000;
  int nCode = -1000;
  std::string strDesc;
};
ParsedAnswer parseAnswer(const std::string &strBody);

// The answer of one sn, once it has arrived (within 5 s) for the device, on a thread of the
// application's own.
ParsedAnswer answerOf(TestApp &app, int nSn, const std::string &strDevId);

// Each request kind to the test driver's gate D1 and its reader C1: SetParam to D1 (sn 11),
// GetParam to D1 (12), Ctrl "open" to C1 (13), QryStatus to C1 (14).
void sendEachRequestKind(TestApp &app);
// Expects the answers of sendEachRequestKind.
void expectEachRequestKindAnswered(TestApp &app);

} // namespace zt::test
