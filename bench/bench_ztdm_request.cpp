// Request round trips through the real local broker: an application on busline sends GetParam
// requests to a device registered with a ztdm instance and waits for the answers.
#include "broker.h"
#include "test_application.h"
#include "ztdm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int answerGetConfig(const DeviceInfo *, char *pOut, int *pnOutLen, int) {
  static const char kOutput[] = "{\"speed\":40,\"mode\":\"auto\"}";
  std::memcpy(pOut, kOutput, sizeof kOutput - 1);
  *pnOutLen = sizeof kOutput - 1;
  return 0;
}

const std::string kRequestTopic = "ZTDM/DOWN/DEV/0/16/B1/GetParam";
const std::string kAnswerTopic = "ZTDM/UP/DEV/0/16/B1/GetParam";

size_t answersFrom(zt::test::TestApplication &app, uint32_t uFirstSn) {
  size_t nCount = 0;
  for (const auto &message : app.messages()) {
    nCount += message.strTopic == kAnswerTopic && message.uSN >= uFirstSn;
  }
  return nCount;
}

} // namespace

int main() {
  zt::test::Broker broker;
  if (!broker.start()) {
    std::fprintf(stderr, "broker did not start\n");
    return 1;
  }
  zt::test::TestApplication app(broker.port());
  std::string strAddress = "127.0.0.1:" + std::to_string(broker.port());
  ZtdmHandle *pHandle = ztdm_Create(strAddress.c_str());
  DriverCallbacks callbacks{nullptr, answerGetConfig, nullptr, nullptr};
  ztdm_RegisterDriver(pHandle, 16, &callbacks);
  DeviceInfo device;
  std::memset(&device, 0, sizeof device);
  std::strcpy(device.id, "B1");
  device.vdt = 16;
  if (!zt::test::waitFor([&] { return app.connected(); })) {
    std::fprintf(stderr, "application did not connect\n");
    return 1;
  }
  ztdm_RegisterDevice(pHandle, &device);
  // Warm up until the device side answers.
  uint32_t uSn = 1;
  bool bReady = false;
  for (int i = 0; i < 100 && !bReady; ++i) {
    uint32_t uWarmSn = uSn++;
    app.request(kRequestTopic, "{}", uWarmSn, 3);
    bReady = zt::test::waitFor([&] { return answersFrom(app, uWarmSn) > 0; }, std::chrono::milliseconds(100));
  }
  if (!bReady) {
    std::fprintf(stderr, "device side did not answer\n");
    return 1;
  }

  // Sequential: one request in flight at a time.
  constexpr int kSequential = 2000;
  std::vector<double> vecLatencyUs;
  vecLatencyUs.reserve(kSequential);
  for (int i = 0; i < kSequential; ++i) {
    app.clear();
    uint32_t uThisSn = ++uSn;
    auto start = Clock::now();
    app.request(kRequestTopic, "{}", uThisSn, 3);
    while (answersFrom(app, uThisSn) == 0) {
      std::this_thread::yield();
    }
    vecLatencyUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(vecLatencyUs.begin(), vecLatencyUs.end());
  std::printf("ztdm_getparam_roundtrip_p50 %.1f us\n", vecLatencyUs[kSequential / 2]);
  std::printf("ztdm_getparam_roundtrip_p99 %.1f us\n", vecLatencyUs[kSequential * 99 / 100]);

  // Pipelined: all requests sent at once, throughput until the last answer.
  constexpr int kPipelined = 5000;
  app.clear();
  uint32_t uFirstSn = ++uSn;
  auto start = Clock::now();
  for (int i = 0; i < kPipelined; ++i) {
    app.request(kRequestTopic, "{}", uFirstSn + static_cast<uint32_t>(i), 3);
  }
  bool bAll =
      zt::test::waitFor([&] { return answersFrom(app, uFirstSn) >= kPipelined; }, std::chrono::seconds(60));
  double dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("ztdm_getparam_pipelined_answered %zu requests\n", answersFrom(app, uFirstSn));
  if (bAll) {
    std::printf("ztdm_getparam_pipelined_throughput %.0f requests/s\n", kPipelined / dSeconds);
  }
  ztdm_Destroy(pHandle);
  return bAll ? 0 : 1;
}
