// Destroying an instance from each of its callbacks and from another thread while callbacks run.
#include "end_to_end_fixture.h"
#include "ztda_impl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using zt::si::ZtdaImpl;

// An instance that destroys itself inside the first callback of one kind. Every callback notes
// whether it started after the destroying callback had returned, which must never happen.
struct SelfDestroying {
  std::string strKind;
  ZtdaImpl *pImpl = nullptr;
  std::atomic<bool> bFound{false};
  std::atomic<bool> bDestroyCalled{false};
  std::atomic<bool> bDestroyingReturned{false};
  std::atomic<int> nLateCalls{0};

  void onCallback(const char *pstrKind) {
    if (bDestroyingReturned) {
      ++nLateCalls;
    }
    if (strKind == pstrKind && !bDestroyCalled.exchange(true)) {
      ZtdaImpl::destroy(pImpl);
      bDestroyingReturned = true;
    }
  }

  static SelfDestroying &of(void *pUserData) { return *static_cast<SelfDestroying *>(pUserData); }
  static void onFound(const char *, int, const DeviceInfo *, void *pUserData) {
    of(pUserData).bFound = true;
    of(pUserData).onCallback("found");
  }
  static void onReplayed(const char *, int, const DeviceInfo *, void *pUserData) {
    of(pUserData).onCallback("replayed");
  }
  static void onAnswer(const char *, int, const char *, int, void *pUserData) {
    of(pUserData).onCallback("answer");
  }
  static void onStatus(const char *, int, const char *, int, void *pUserData) {
    of(pUserData).onCallback("status");
  }
  static void onData(const char *, int, const char *, int, void *pUserData) {
    of(pUserData).onCallback("data");
  }
  static void onEvent(const char *, int, const char *, int, void *pUserData) {
    of(pUserData).onCallback("event");
  }
};

class DestroyInsideCallback : public zt::test::EndToEnd,
                              public ::testing::WithParamInterface<const char *> {};

// The driver keeps announcing and reporting D1 until the instance is gone; the test thread itself
// uses the instance only before the destroying callback can run (one request, one replay).
TEST_P(DestroyInsideCallback, EndsTheInstanceWithoutALaterCallback) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  int nBaseline = ZtdaImpl::liveInstances();
  SelfDestroying state;
  state.strKind = GetParam();
  state.pImpl = new ZtdaImpl(0);
  ASSERT_EQ(state.pImpl->init(address().c_str(), &SelfDestroying::onFound, &state), 0);
  state.pImpl->setStatusCallback(&SelfDestroying::onStatus);
  state.pImpl->setDataCallback(&SelfDestroying::onData);
  state.pImpl->setEventCallback(&SelfDestroying::onEvent);

  bool bUsed = false;
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!state.bDestroyCalled && std::chrono::steady_clock::now() < deadline) {
    m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
    ztdm_ReportStatus(m_pDriver->handle(), "D1", 1, "s", 1);
    ztdm_ReportData(m_pDriver->handle(), "D1", 2, "d", 1);
    ztdm_ReportEvent(m_pDriver->handle(), "D1", 3, "e", 1);
    if (state.bFound && !bUsed && state.strKind == "answer") {
      bUsed = state.pImpl->getParam("D1", 0, &SelfDestroying::onAnswer) == 0;
    } else if (state.bFound && !bUsed && state.strKind == "replayed") {
      bUsed = true;
      state.pImpl->getFoundDev(&SelfDestroying::onReplayed);
    }
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(state.bDestroyCalled);
  ASSERT_TRUE(zt::test::waitFor([&] { return state.bDestroyingReturned.load(); }));
  for (int i = 0; i < 20; ++i) {
    m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
    ztdm_ReportData(m_pDriver->handle(), "D1", 2, "d", 1);
  }
  // The teardown ends on a thread of its own once the callback has returned.
  EXPECT_TRUE(zt::test::waitFor([&] { return ZtdaImpl::liveInstances() == nBaseline; }));
  EXPECT_EQ(state.nLateCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(EachCallback, DestroyInsideCallback,
                         ::testing::Values("found", "replayed", "answer", "status", "data", "event"));

using Lifetime = zt::test::EndToEnd;

// The handle the answer callback destroys (the user data is fixed before the handle exists).
std::atomic<ZtsiHandle *> g_pDestroyInAnswer{nullptr};
std::atomic<bool> g_bDestroyInAnswerReturned{false};

void destroyInAnswer(const char *, int, const char *, int, void *) {
  ztsi_Destory(g_pDestroyInAnswer.exchange(nullptr));
  g_bDestroyInAnswerReturned = true;
}

// Ended the process with "Resource deadlock avoided" when the delivery thread joined itself.
TEST_F(Lifetime, ZtsiDestoryInsideAResponseCallbackReturns) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  ZtsiHandle *pHandle = ztsi_Create(address().c_str(), nullptr, nullptr);
  ASSERT_NE(pHandle, nullptr);
  g_pDestroyInAnswer = pHandle;
  ASSERT_TRUE(zt::test::waitFor([&] {
    ztsi_FindDevices(pHandle, "X", 0, nullptr);
    return zt::test::waitFor([&] { return ztsi_GetParam(pHandle, "D1", 0, nullptr) == 0; }, 300ms);
  }));
  ASSERT_EQ(ztsi_GetParam(pHandle, "D1", 0, &destroyInAnswer), 0);
  EXPECT_TRUE(zt::test::waitFor([] { return g_bDestroyInAnswerReturned.load(); }));
}

// Callbacks that take a little time, so that the destroying thread meets them running.
struct FloodCounter {
  std::atomic<bool> bDestroyReturned{false};
  std::atomic<int> nCalls{0};
  std::atomic<int> nLateCalls{0};

  void onCallback() {
    if (bDestroyReturned) {
      ++nLateCalls;
    }
    ++nCalls;
    std::this_thread::sleep_for(1ms);
  }
  static void onData(const char *, int, const char *, int, void *pUserData) {
    static_cast<FloodCounter *>(pUserData)->onCallback();
  }
  static void onFound(const char *, int, const DeviceInfo *, void *pUserData) {
    static_cast<FloodCounter *>(pUserData)->onCallback();
  }
};

TEST_F(Lifetime, DestroyFromAnotherThreadDuringAFloodOfReportsAndAnswers) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  FloodCounter counter;
  ZtsiHandle *pHandle = ztsi_Create(address().c_str(), &FloodCounter::onFound, &counter);
  ASSERT_NE(pHandle, nullptr);
  ztsi_SetDataCallback(pHandle, &FloodCounter::onData);
  ASSERT_TRUE(zt::test::waitFor([&] {
    ztsi_FindDevices(pHandle, "X", 0, nullptr);
    return zt::test::waitFor([&] { return ztsi_GetParam(pHandle, "D1", 0, nullptr) == 0; }, 300ms);
  }));

  std::atomic<bool> bRun{true};
  std::thread reporter([&] {
    while (bRun) {
      ztdm_ReportData(m_pDriver->handle(), "D1", 0, "flood", 5);
    }
  });
  auto stopReporter = [&] {
    bRun = false;
    reporter.join();
  };
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(ztsi_GetParam(pHandle, "D1", 0, &FloodCounter::onData), 0);
  }
  // Slow under ThreadSanitizer on a loaded machine: a generous deadline.
  EXPECT_TRUE(zt::test::waitFor([&] { return counter.nCalls > 200; }, 60s));
  ztsi_Destory(pHandle);
  counter.bDestroyReturned = true;
  int nCallsAtDestroy = counter.nCalls;
  std::this_thread::sleep_for(200ms);
  stopReporter();
  EXPECT_EQ(counter.nLateCalls, 0);
  EXPECT_EQ(counter.nCalls, nCallsAtDestroy);
}

} // namespace

namespace {

// Counts the replayed devices; the first replay destroys the instance.
struct ReplayDestroying {
  ZtdaImpl *pImpl = nullptr;
  std::atomic<int> nFound{0};
  std::atomic<int> nReplayed{0};

  static ReplayDestroying &of(void *pUserData) { return *static_cast<ReplayDestroying *>(pUserData); }
  static void onFound(const char *, int, const DeviceInfo *, void *pUserData) { ++of(pUserData).nFound; }
  static void onReplayed(const char *, int, const DeviceInfo *, void *pUserData) {
    if (of(pUserData).nReplayed++ == 0) {
      ZtdaImpl::destroy(of(pUserData).pImpl);
    }
  }
};

// The replay went on through the remaining devices after the first of them had destroyed the instance.
TEST_F(Lifetime, DestroyInsideAReplayEndsTheReplay) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  m_pDriver->addDevice("D2", "0", zt::test::kVdtGate);
  int nBaseline = ZtdaImpl::liveInstances();
  ReplayDestroying state;
  state.pImpl = new ZtdaImpl(0);
  ASSERT_EQ(state.pImpl->init(address().c_str(), &ReplayDestroying::onFound, &state), 0);
  ASSERT_TRUE(zt::test::waitFor([&] {
    state.pImpl->findDevices("X", 0);
    return zt::test::waitFor([&] { return state.nFound >= 2; }, 300ms);
  }));
  ASSERT_EQ(state.pImpl->getFoundDev(&ReplayDestroying::onReplayed), 0);
  EXPECT_EQ(state.nReplayed, 1);
  EXPECT_TRUE(zt::test::waitFor([&] { return ZtdaImpl::liveInstances() == nBaseline; }));
}

} // namespace
