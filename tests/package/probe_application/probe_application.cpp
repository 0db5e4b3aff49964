// An application built outside the source tree against the installed SDK, found through
// find_package(ztaccess): waits for the probe driver's device, asks it for its parameters and
// prints the answer. Exits 0 once an answer came, 1 when none came in time.
// Usage: probe_application BROKER DEVICE_ID
#include <ztsi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

using namespace std::chrono_literals;

struct Probe {
  std::string strDevId;
  std::mutex mutex;
  std::condition_variable changed;
  bool bFound = false;
  bool bAnswered = false;
  std::string strAnswer;
};

void onFound(const char *, int, const DeviceInfo *pDevInfo, void *pUserData) {
  auto *pProbe = static_cast<Probe *>(pUserData);
  if (pDevInfo == nullptr ||
      std::string(pDevInfo->id, strnlen(pDevInfo->id, sizeof pDevInfo->id)) != pProbe->strDevId) {
    return;
  }
  std::lock_guard<std::mutex> lock(pProbe->mutex);
  pProbe->bFound = true;
  pProbe->changed.notify_all();
}

void onAnswer(const char *, int, const char *pData, int nLen, void *pUserData) {
  auto *pProbe = static_cast<Probe *>(pUserData);
  std::lock_guard<std::mutex> lock(pProbe->mutex);
  pProbe->strAnswer.assign(pData, static_cast<size_t>(nLen));
  pProbe->bAnswered = true;
  pProbe->changed.notify_all();
}

// Sends a request every two seconds until done() holds or the deadline passes; done() is
// read under the probe's lock.
template <typename Request, typename Done>
bool repeatUntil(Probe &probe, Request request, Done done, std::chrono::seconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  std::unique_lock<std::mutex> lock(probe.mutex);
  while (!done() && std::chrono::steady_clock::now() < end) {
    lock.unlock();
    request();
    lock.lock();
    probe.changed.wait_until(lock, std::min(end, std::chrono::steady_clock::now() + 2s), done);
  }
  return done();
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s BROKER DEVICE_ID\n", argv[0]);
    return 2;
  }
  Probe probe;
  probe.strDevId = argv[2];
  ZtsiHandle *pHandle = ztsi_Create(argv[1], onFound, &probe);
  if (pHandle == nullptr) {
    std::fprintf(stderr, "ztsi_Create(%s) failed\n", argv[1]);
    return 1;
  }
  const bool bFound = repeatUntil(
      probe, [&] { ztsi_FindDevices(pHandle, "0", 0, nullptr); }, [&] { return probe.bFound; }, 30s);
  const bool bAnswered =
      bFound && repeatUntil(
                    probe, [&] { ztsi_GetParam(pHandle, argv[2], 0, onAnswer); },
                    [&] { return probe.bAnswered; }, 20s);
  ztsi_Destory(pHandle);

  if (!bFound) {
    std::fprintf(stderr, "device %s was not found\n", argv[2]);
    return 1;
  }
  if (!bAnswered) {
    std::fprintf(stderr, "GetParam to %s was not answered\n", argv[2]);
    return 1;
  }
  std::printf("answer %s\n", probe.strAnswer.c_str());
  return 0;
}
