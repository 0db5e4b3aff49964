// The request queue between the network thread and the request threads: order and exclusion
// within a lane, lanes side by side, the bounds, and closing.
#include "request_queue.h"

#include "entry_blocker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using zt::dm::QueuedRequest;
using zt::dm::RequestQueue;

// Records what the request threads run; requests of device "B" wait for the blocker.
class Recorder {
public:
  RequestQueue::Handler handler() {
    return [this](const QueuedRequest &request) { handle(request); };
  }
  zt::test::EntryBlocker blocker;

  std::vector<QueuedRequest> handled() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecHandled;
  }
  size_t handledOf(const std::string &strDevId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t nCount = 0;
    for (const QueuedRequest &request : m_vecHandled) {
      nCount += request.strDevId == strDevId;
    }
    return nCount;
  }
  // The most requests seen running at once, of one device and of all.
  int maxInsideOneDevice() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nMaxInsideOneDevice;
  }
  int maxInsideAll() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nMaxInsideAll;
  }
  // The sn of each device's requests in the order they ran.
  std::map<std::string, std::vector<int>> snByDevice() {
    std::map<std::string, std::vector<int>> mapSn;
    for (const QueuedRequest &request : handled()) {
      mapSn[request.strDevId].push_back(request.nSn);
    }
    return mapSn;
  }

private:
  void handle(const QueuedRequest &request) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      ++m_nInsideAll;
      m_nMaxInsideAll = std::max(m_nMaxInsideAll, m_nInsideAll);
      int &nInside = m_mapInside[request.strDevId];
      m_nMaxInsideOneDevice = std::max(m_nMaxInsideOneDevice, ++nInside);
    }
    if (request.strDevId == "B") {
      blocker.enter();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecHandled.push_back(request);
    --m_nInsideAll;
    --m_mapInside[request.strDevId];
  }

  std::mutex m_mutex;
  std::vector<QueuedRequest> m_vecHandled;
  std::map<std::string, int> m_mapInside;
  int m_nInsideAll = 0;
  int m_nMaxInsideAll = 0;
  int m_nMaxInsideOneDevice = 0;
};

QueuedRequest makeRequest(const std::string &strDevId, int nSn, size_t nBytes = 2) {
  return QueuedRequest{strDevId, nSn, 3, std::string(nBytes, 'x')};
}

bool waitUntil(const std::function<bool()> &pred) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

} // namespace

TEST(RequestQueue, OneLaneRunsEveryRequestInArrivalOrderOneAtATime) {
  Recorder recorder;
  RequestQueue queue(recorder.handler(), 4, false);
  ASSERT_TRUE(queue.push(makeRequest("B", 0)));
  ASSERT_TRUE(recorder.blocker.waitEntered(1));
  const char *devices[] = {"A", "B", "C"};
  for (int nSn = 1; nSn <= 300; ++nSn) {
    ASSERT_TRUE(queue.push(makeRequest(devices[nSn % 3], nSn)));
  }
  recorder.blocker.release();
  queue.waitUntilIdle();
  std::vector<QueuedRequest> vecHandled = recorder.handled();
  ASSERT_EQ(vecHandled.size(), 301u);
  for (int i = 0; i <= 300; ++i) {
    EXPECT_EQ(vecHandled[static_cast<size_t>(i)].nSn, i);
  }
  EXPECT_EQ(recorder.maxInsideAll(), 1);
}

TEST(RequestQueue, LanePerDeviceRunsDevicesSideBySideEachInOrder) {
  Recorder recorder;
  RequestQueue queue(recorder.handler(), 4, true);
  ASSERT_TRUE(queue.push(makeRequest("B", 1)));
  ASSERT_TRUE(queue.push(makeRequest("B", 2)));
  ASSERT_TRUE(recorder.blocker.waitEntered(1));
  for (int nSn = 3; nSn < 203; ++nSn) {
    ASSERT_TRUE(queue.push(makeRequest(nSn % 2 == 0 ? "A" : "C", nSn)));
  }
  // The other devices go on while B's first request is held; B's second waits for it.
  ASSERT_TRUE(waitUntil([&] { return recorder.handledOf("A") + recorder.handledOf("C") == 200; }));
  EXPECT_EQ(recorder.blocker.entered(), 1);
  EXPECT_EQ(recorder.handledOf("B"), 0u);
  recorder.blocker.release();
  queue.waitUntilIdle();
  EXPECT_EQ(recorder.handledOf("B"), 2u);
  for (const auto &[strDevId, vecSn] : recorder.snByDevice()) {
    EXPECT_TRUE(std::is_sorted(vecSn.begin(), vecSn.end())) << strDevId;
  }
  EXPECT_EQ(recorder.maxInsideOneDevice(), 1);
  EXPECT_GE(recorder.maxInsideAll(), 2);
}

TEST(RequestQueue, FullQueueRefusesRequestsUntilThereIsRoomAgain) {
  Recorder recorder;
  RequestQueue queue(recorder.handler(), 1, false, zt::dm::RequestQueueLimits{3, 100});
  // A running request takes no room.
  ASSERT_TRUE(queue.push(makeRequest("B", 1)));
  ASSERT_TRUE(recorder.blocker.waitEntered(1));
  EXPECT_TRUE(queue.push(makeRequest("A", 2)));
  EXPECT_TRUE(queue.push(makeRequest("A", 3)));
  EXPECT_TRUE(queue.push(makeRequest("A", 4)));
  EXPECT_FALSE(queue.push(makeRequest("A", 5)));
  recorder.blocker.release();
  queue.waitUntilIdle();

  recorder.blocker.reset();
  ASSERT_TRUE(queue.push(makeRequest("B", 6)));
  ASSERT_TRUE(recorder.blocker.waitEntered(1));
  EXPECT_TRUE(queue.push(makeRequest("A", 7, 60)));
  EXPECT_FALSE(queue.push(makeRequest("A", 8, 50)));
  EXPECT_TRUE(queue.push(makeRequest("A", 9, 40)));
  EXPECT_FALSE(queue.push(makeRequest("A", 10, 1)));
  recorder.blocker.release();
  queue.waitUntilIdle();
  // Alone, a request is taken whatever its size.
  EXPECT_TRUE(queue.push(makeRequest("A", 11, 1000)));
  queue.waitUntilIdle();

  std::vector<int> vecSn;
  for (const QueuedRequest &request : recorder.handled()) {
    vecSn.push_back(request.nSn);
  }
  EXPECT_EQ(vecSn, (std::vector<int>{1, 2, 3, 4, 6, 7, 9, 11}));
}

TEST(RequestQueue, CloseDropsWaitingRequestsAndLetsTheRunningOneFinish) {
  Recorder recorder;
  RequestQueue queue(recorder.handler(), 1, false);
  ASSERT_TRUE(queue.push(makeRequest("B", 1)));
  ASSERT_TRUE(recorder.blocker.waitEntered(1));
  for (int nSn = 2; nSn < 7; ++nSn) {
    ASSERT_TRUE(queue.push(makeRequest("A", nSn)));
  }
  queue.close();
  EXPECT_FALSE(queue.push(makeRequest("A", 7)));
  recorder.blocker.release();
  queue.waitUntilIdle();
  queue.stop();
  ASSERT_EQ(recorder.handled().size(), 1u);
  EXPECT_EQ(recorder.handled()[0].nSn, 1);

  // Closed from inside a request: nothing after it runs.
  std::vector<int> vecRan;
  std::unique_ptr<RequestQueue> pQueue;
  pQueue = std::make_unique<RequestQueue>(
      [&](const QueuedRequest &request) {
        vecRan.push_back(request.nSn);
        pQueue->close();
      },
      3, true);
  for (int nSn = 1; nSn < 20; ++nSn) {
    pQueue->push(makeRequest("X", nSn));
  }
  pQueue->waitUntilIdle();
  pQueue->stop();
  EXPECT_EQ(vecRan, std::vector<int>{1});
}
