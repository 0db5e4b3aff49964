#include "report_threads.h"

#include "reports.h"

#include <algorithm>
#include <cstdio>

namespace zt::demo {
namespace {

struct ReportContext {
  ZtdmHandle *pHandle;
  DeviceList vecDevices;
  int nIntervalMs;
  int nDevicesPerThread;
  int nCycles;
  int nIndex;
};

void reportLoop(const ReportContext &context, StopSignal &stop) {
  std::printf("start a thread .......\n");
  std::printf("dev: %d, sleep: %d, Msg: %d, index: %d\n", context.nDevicesPerThread, context.nIntervalMs,
              context.nCycles, context.nIndex);
  auto [nFirst, nEnd] = threadSlice(context.vecDevices.size(), context.nDevicesPerThread, context.nIndex);
  int nLeft = context.nCycles;
  while (!stop.waitFor(context.nIntervalMs)) {
    if (nLeft == 0) {
      std::printf("stop a thread for %d report.......\n", context.nCycles);
      break;
    }
    for (size_t i = nFirst; i < nEnd; ++i) {
      sendReport(context.pHandle, *context.vecDevices[i], ReportKind::Status);
    }
    if (nLeft > 0) {
      --nLeft;
    }
  }
  std::printf("stop a thread\n");
}

} // namespace

int devicesPerThread(size_t nDevices, int nThreadCount) {
  return static_cast<int>((nDevices + nThreadCount - 1) / nThreadCount);
}

std::pair<size_t, size_t> threadSlice(size_t nDevices, int nPerThread, int nIndex) {
  size_t nFirst = std::min(nDevices, static_cast<size_t>(nPerThread) * nIndex);
  return {nFirst, std::min(nDevices, nFirst + nPerThread)};
}

void ReportThreads::start(ZtdmHandle *pHandle, const DeviceList &vecDevices, int nIntervalMs,
                          int nThreadCount, int nCycles) {
  int nPer = devicesPerThread(vecDevices.size(), nThreadCount);
  std::printf("thrdMsgCount: %d\n", nCycles);
  for (int k = 0; k < nThreadCount; ++k) {
    auto pStop = std::make_shared<StopSignal>();
    ReportContext context{pHandle, vecDevices, nIntervalMs, nPer, nCycles, k};
    std::thread thread([context, pStop] { reportLoop(context, *pStop); });
    m_mapThreads.emplace(k, RunningThread{std::move(thread), pStop, nCycles});
    std::printf("thread [%d] have started\n", k);
  }
}

void ReportThreads::joinEarlierRuns() {
  for (auto &entry : m_mapThreads) {
    if (entry.second.nCycles == kEndlessCycles) {
      entry.second.pStop->set();
    }
  }
  for (auto &entry : m_mapThreads) {
    entry.second.thread.join();
  }
  m_mapThreads.clear();
}

void ReportThreads::stopAll() {
  for (auto &entry : m_mapThreads) {
    entry.second.pStop->set();
  }
  joinEarlierRuns();
}

} // namespace zt::demo
