// The load-test report threads: each sends the status reports of its slice of the device list
// once per interval for a number of cycles (-1: until stopped).
#pragma once

#include "demo_devices.h"
#include "stop_signal.h"
#include "ztdm.h"

#include <map>
#include <memory>
#include <thread>
#include <utility>

namespace zt::demo {

constexpr int kEndlessCycles = -1;

// nDevices / nThreadCount rounded up.
int devicesPerThread(size_t nDevices, int nThreadCount);

// The device indexes [first, second) that thread nIndex reports: nPerThread devices from
// nIndex * nPerThread on, as far as the list reaches.
std::pair<size_t, size_t> threadSlice(size_t nDevices, int nPerThread, int nIndex);

class ReportThreads {
public:
  ReportThreads() = default;
  ~ReportThreads() { stopAll(); }
  ReportThreads(const ReportThreads &) = delete;
  ReportThreads &operator=(const ReportThreads &) = delete;

  // Starts nThreadCount threads over (a copy of) the device list.
  void start(ZtdmHandle *pHandle, const DeviceList &vecDevices, int nIntervalMs, int nThreadCount,
             int nCycles);

  // Waits for the threads started so far; endless ones are told to stop first, as they would
  // never end by themselves.
  void joinEarlierRuns();

  // Tells every thread to stop and waits for all of them.
  void stopAll();

private:
  struct RunningThread {
    std::thread thread;
    std::shared_ptr<StopSignal> pStop;
    int nCycles;
  };

  // Several runs may hold the same index: autoup starts a run without joining the older ones.
  std::multimap<int, RunningThread> m_mapThreads;
};

} // namespace zt::demo
