// The parts of the library that need no broker: registries, timer object, request gate, and
// request handling of an instance whose broker is never reached.
#include "driver_manager.h"
#include "response_object.h"
#include "ztdm_impl.h"
#include "ztdm_sync_time_manager.h"

#include "zt_common.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

DeviceInfo makeDevice(const char *pstrId, const char *pstrPid, int nVdt) {
  DeviceInfo device;
  std::memset(&device, 0, sizeof device);
  std::strncpy(device.id, pstrId, sizeof device.id);
  std::strncpy(device.pid, pstrPid, sizeof device.pid);
  device.vdt = nVdt;
  device.type = 7;
  std::strcpy(device.name, "name");
  return device;
}

// What the test driver saw last.
struct SeenCall {
  DeviceInfo device;
  std::string strData;
  int nSn = 0;
  int nOutLen = 0;
};
SeenCall g_seen;

int recordingSetConfig(const DeviceInfo *pDevice, const char *pData, int nDataLen, int nSn) {
  g_seen.device = *pDevice;
  g_seen.strData.assign(pData, static_cast<size_t>(nDataLen));
  g_seen.nSn = nSn;
  return 42;
}

int recordingQryStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  g_seen.device = *pDevice;
  g_seen.nOutLen = *pnOutLen;
  g_seen.nSn = nSn;
  std::strcpy(pOut, "ok");
  *pnOutLen = 2;
  return 0;
}

} // namespace

TEST(DriverManager, StoresDevicesWithRootPidAndOverwritesAllButId) {
  zt::dm::DriverManager manager(0);
  EXPECT_FALSE(manager.registerDevice(makeDevice("D1", "", 16)));
  DeviceInfo stored;
  ASSERT_TRUE(manager.findDevice("D1", stored));
  EXPECT_STREQ(stored.pid, "0");
  EXPECT_EQ(stored.vdt, 16);

  DeviceInfo update = makeDevice("D1", "P9", 17);
  std::strcpy(update.desc, "second");
  EXPECT_TRUE(manager.registerDevice(update));
  ASSERT_TRUE(manager.findDevice("D1", stored));
  EXPECT_STREQ(stored.pid, "P9");
  EXPECT_EQ(stored.vdt, 17);
  EXPECT_STREQ(stored.desc, "second");
  EXPECT_EQ(manager.devices().size(), 1u);

  // An id filling its whole field is keyed by its 36 characters, never more.
  DeviceInfo full = makeDevice("", "0", 1);
  std::memset(full.id, 'Z', sizeof full.id);
  manager.registerDevice(full);
  EXPECT_TRUE(manager.findDevice(std::string(36, 'Z'), stored));
  EXPECT_EQ(std::memcmp(stored.id, full.id, sizeof full.id), 0);
}

TEST(DriverManager, EntryCallsReportMissingDeviceTableAndEntry) {
  zt::dm::DriverManager manager(0);
  manager.registerDevice(makeDevice("D1", "0", 16));
  manager.registerDevice(makeDevice("D2", "0", 99));
  manager.registerDevice(makeDevice("D3", "0", -4));
  DriverCallbacks callbacks{recordingSetConfig, nullptr, nullptr, recordingQryStatus};
  manager.registerDriver(16, callbacks);

  char szError[zt::dm::DriverManager::kErrorTextSize] = {0};
  EXPECT_EQ(manager.setConfig("D1", "abc", 3, 77, szError), 42);
  EXPECT_STREQ(g_seen.device.id, "D1");
  EXPECT_STREQ(g_seen.device.pid, "0");
  EXPECT_EQ(g_seen.strData, "abc");
  EXPECT_EQ(g_seen.nSn, 77);
  EXPECT_STREQ(szError, "");

  char szOut[16] = {0};
  int nOutLen = sizeof szOut;
  EXPECT_EQ(manager.qryStatus("D1", szOut, &nOutLen, 78, szError), 0);
  EXPECT_EQ(g_seen.nOutLen, 16);
  EXPECT_EQ(nOutLen, 2);

  EXPECT_EQ(manager.setConfig("NOPE", "", 0, 1, szError), -1);
  EXPECT_STREQ(szError, "Can not find devObj devId= [NOPE] dev=[0x0]");
  EXPECT_EQ(manager.getConfig("D2", szOut, &nOutLen, 1, szError), -2);
  EXPECT_STREQ(szError, "Can not find GetConfig driver devId= [D2] ");
  EXPECT_EQ(manager.qryStatus("D3", szOut, &nOutLen, 1, szError), -2);
  EXPECT_STREQ(szError, "Can not find QryStatus driver devId= [D3] ");
  // Registered table, empty entries: never called.
  EXPECT_EQ(manager.ctrl("D1", "x", 1, szOut, &nOutLen, 1, szError), -2);
  EXPECT_STREQ(szError, "Can not find Ctrl driver devId= [D1] ");
  EXPECT_EQ(manager.getConfig("D1", szOut, &nOutLen, 1, szError), -2);
  EXPECT_STREQ(szError, "Can not find GetConfig driver devId= [D1] ");

  // A longer devId never overflows the error text.
  std::string strLongId(64, 'L');
  EXPECT_EQ(manager.setConfig(strLongId, "", 0, 1, szError), -1);
  EXPECT_LT(std::strlen(szError), sizeof szError);
}

namespace {

// The timer's clock in these tests: it moves only when a test moves it.
std::atomic<uint64_t> g_manualNowMs{0};
uint64_t manualNowMs() {
  return g_manualNowMs;
}

// Collects the responses the timer object sends.
struct ResponseLog {
  struct Entry {
    zt::dm::ResponseRecord record;
    std::string strData;
    int nSn;
    uint64_t uAtMs;
  };
  std::mutex mutex;
  std::vector<Entry> vecEntries;

  zt::dm::ztdmSyncTimeManager::ResponseFunction function() {
    return [this](const zt::dm::ResponseRecord &record, int nSn) {
      std::lock_guard<std::mutex> lock(mutex);
      vecEntries.push_back(
          {record, std::string(record.pData, static_cast<size_t>(record.nLength)), nSn, g_manualNowMs});
    };
  }
  size_t size() {
    std::lock_guard<std::mutex> lock(mutex);
    return vecEntries.size();
  }
};

bool waitUntil(const std::function<bool()> &pred, int nTimeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return pred();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

} // namespace

TEST(SyncTimeManager, AnswersDeferredRequestsOnceAfterTheirTimeout) {
  ResponseLog log;
  g_manualNowMs = 1000;
  zt::dm::ztdmSyncTimeManager manager(log.function(), zt::dm::SyncTimerSettings{5, 120000, &manualNowMs});
  manager.defer("D1", 2, 9, 101);
  manager.defer("D1", 3, 9, 150); // same device and sn: replaces the first
  manager.defer("D3", 4, 9, 150); // same sn for another device: answered as well
  manager.defer("D2", 5, 4, 250);
  // A request is due only once more than its time-out has passed.
  g_manualNowMs = 1150;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(log.size(), 0u);
  g_manualNowMs = 1151;
  ASSERT_TRUE(waitUntil([&] { return log.size() == 2; }, 10000));
  g_manualNowMs = 1251;
  ASSERT_TRUE(waitUntil([&] { return log.size() == 3; }, 10000));
  g_manualNowMs = 100000;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::lock_guard<std::mutex> lock(log.mutex);
  ASSERT_EQ(log.vecEntries.size(), 3u);
  EXPECT_EQ(log.vecEntries[0].record.strDevId, "D1");
  EXPECT_EQ(log.vecEntries[0].nSn, 9);
  EXPECT_EQ(log.vecEntries[0].record.nCmd, 3);
  EXPECT_EQ(log.vecEntries[0].record.nCode, 4);
  EXPECT_EQ(log.vecEntries[0].strData, zt::protocol::requestTimeoutDesc());
  EXPECT_EQ(log.vecEntries[0].uAtMs, 1151u);
  EXPECT_EQ(log.vecEntries[1].record.strDevId, "D3");
  EXPECT_EQ(log.vecEntries[1].nSn, 9);
  EXPECT_EQ(log.vecEntries[1].record.nCmd, 4);
  EXPECT_EQ(log.vecEntries[2].record.strDevId, "D2");
  EXPECT_EQ(log.vecEntries[2].nSn, 4);
  EXPECT_EQ(log.vecEntries[2].uAtMs, 1251u);
}

TEST(SyncTimeManager, IdleTimerFiresOnceUnlessRefreshed) {
  ResponseLog log;
  g_manualNowMs = 0;
  zt::dm::ztdmSyncTimeManager manager(log.function(), zt::dm::SyncTimerSettings{5, 600, &manualNowMs});
  std::atomic<int> nFired{0};
  manager.arm([&] { ++nFired; });
  // Refreshed every 500 ms of the clock, it never sees 600 ms without a request.
  for (int i = 0; i < 4; ++i) {
    g_manualNowMs += 500;
    manager.refresh();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  g_manualNowMs += 600; // exactly the idle time: not yet
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(nFired, 0);
  g_manualNowMs += 1;
  ASSERT_TRUE(waitUntil([&] { return nFired == 1; }, 10000));
  g_manualNowMs += 10000;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(nFired, 1); // disarmed after firing
}

TEST(SyncTimeManager, StopDiscardsPendingRequestsWithoutAnswer) {
  ResponseLog log;
  auto pManager =
      std::make_unique<zt::dm::ztdmSyncTimeManager>(log.function(), zt::dm::SyncTimerSettings{60000, 120000});
  pManager->defer("D1", 2, 1, 101);
  uint64_t uStartMs = zt::tickMs();
  pManager.reset(); // wakes the sleeping thread at once instead of after its minute-long period
  EXPECT_LT(zt::tickMs() - uStartMs, 30000u);
  EXPECT_EQ(log.size(), 0u);
}

// Answer bodies are JsonCpp's compact text of {"cmd","code","desc"} whether built directly (plain
// text) or through the JSON tree (any other byte), with nothing of the previous body left over,
// on any thread.
TEST(ResponseObject, BodiesAreJsonCppsCompactTextWithNothingLeftOver) {
  const std::vector<std::string> vecData = {
      "",
      "{\"speed\":40,\"mode\":\"auto\",\"path\":\"C:\\\\dev/gate\"}",
      std::string(" ~!@#$%^&*()_+`-={}|[]:;'<>?,./") + std::string(3000, 'x'),
      "tab\there\r\nline\x01\x1f\x7f",
      "caf\xc3\xa9 \xe9\x97\xb8 \xf0\x9f\x9a\xa7",
      std::string("nul\0inside", 10),
      "bad utf-8 \xff\xfe",
  };
  auto check = [&] {
    for (const std::string &strData : vecData) {
      Json::Value jsonExpected(Json::objectValue);
      jsonExpected["cmd"] = 3;
      jsonExpected["code"] = -2;
      jsonExpected["desc"] = Json::Value(strData.data(), strData.data() + strData.size());
      EXPECT_EQ(zt::protocol::responseBody(3, -2, strData.data(), static_cast<int>(strData.size())),
                zt::protocol::compactJson(jsonExpected));
    }
    EXPECT_EQ(zt::protocol::responseBody(5, 0, "\"q\"", 3), "{\"cmd\":5,\"code\":0,\"desc\":\"\\\"q\\\"\"}");
    EXPECT_EQ(zt::protocol::responseBody(5, 0, nullptr, 4), "{\"cmd\":5,\"code\":0,\"desc\":\"\"}");
    EXPECT_EQ(zt::protocol::requestTimeoutDesc(), "{\"code\":4,\"desc\":\"Request time out!\"}");
  };
  check();
  std::thread other(check);
  other.join();
}

namespace {

std::atomic<int> g_nThrowingCalls{0};

int throwingGetConfig(const DeviceInfo *, char *, int *, int) {
  ++g_nThrowingCalls;
  throw std::runtime_error("driver failure");
}

void deliver(zt::dm::ZTDMImpl &impl, const std::string &strTopic, const std::string &strPayload, uint32_t uSN) {
  zt::dm::Channel::onMessage(strTopic.c_str(), strPayload.data(), static_cast<int>(strPayload.size()), 1, 0, uSN,
                         0, "0", &impl.channel());
}

} // namespace

TEST(RequestHandling, ExceptionFromADriverStaysInsideTheInstance) {
  // Port 1 has no broker: the requests are delivered here as busline's receive callback would.
  zt::dm::ZTDMImpl *pImpl = zt::dm::ZTDMImpl::create("127.0.0.1:1");
  ASSERT_NE(pImpl, nullptr);
  DriverCallbacks throwing{nullptr, throwingGetConfig, nullptr, nullptr};
  pImpl->registerDriver(9, throwing);
  pImpl->registerDevice(makeDevice("T1", "0", 9));
  g_nThrowingCalls = 0;
  EXPECT_NO_THROW(deliver(*pImpl, "ZTDM/DOWN/DEV/0/9/T1/GetParam", "{}", 1));
  EXPECT_NO_THROW(deliver(*pImpl, "ZTDM/DOWN/DEV/0/9/T1/GetParam", "{}", 2));
  pImpl->waitUntilRequestsHandled();
  EXPECT_EQ(g_nThrowingCalls, 2); // the failed request left the instance usable
  zt::dm::ZTDMImpl::destroy(pImpl);   // and no request counted as running
}
