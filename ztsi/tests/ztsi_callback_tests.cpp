// The pending-answer registry on its own: matching by device and sn, delivery on its own thread, expiry,
// replacement and callbacks that send further requests.
#include "call_dispatch.h"
#include "command_code.h"
#include "ztsi_callback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using zt::si::ZtsiCallback;
using zt::si::ZtsiTiming;

struct Answer {
  std::string strDevId;
  int nSn;
  std::string strData;
  std::thread::id threadId;
};

// Collects the answers handed to the application callback.
struct AnswerLog {
  std::mutex mutex;
  std::vector<Answer> vecAnswers;

  static void record(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
    auto *pLog = static_cast<AnswerLog *>(pUserData);
    std::lock_guard<std::mutex> lock(pLog->mutex);
    pLog->vecAnswers.push_back(Answer{pstrDevId != nullptr ? pstrDevId : "", nSn, std::string(pData, nLen),
                                      std::this_thread::get_id()});
  }
  size_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return vecAnswers.size();
  }
  Answer at(size_t nIndex) {
    std::lock_guard<std::mutex> lock(mutex);
    return vecAnswers.at(nIndex);
  }
};

bool waitFor(const std::function<bool()> &pred, std::chrono::milliseconds timeout = 3000ms) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// Never closed: the answers of these tests are always handed over.
zt::CallbackGate g_openGate;

ZtsiTiming fastTiming() {
  ZtsiTiming timing;
  timing.uExpiryMs = 300;
  timing.uDeliveryPeriodMs = 20;
  timing.uCleanupPeriodMs = 20;
  return timing;
}

TEST(ZtsiCallback, DeliversAnAnswerOnceOnItsOwnThread) {
  AnswerLog log;
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  pending.registerRequest("D1", 7, &AnswerLog::record, &log, zt::protocol::kCmdGetParam);
  EXPECT_TRUE(pending.storeResponse(7, zt::protocol::kCmdGetParam, "D1", "{\"a\":1}", 7));
  ASSERT_TRUE(waitFor([&] { return log.count() == 1; }));
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(log.count(), 1u) << "an answer is delivered once";
  Answer answer = log.at(0);
  EXPECT_EQ(answer.nSn, 7);
  EXPECT_EQ(answer.strDevId, "D1");
  EXPECT_EQ(answer.strData, "{\"a\":1}");
  EXPECT_NE(answer.threadId, std::this_thread::get_id());
}

TEST(ZtsiCallback, AnswersAreMatchedByDeviceAndSn) {
  AnswerLog fromA;
  AnswerLog fromB;
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  pending.registerRequest("A", 7, &AnswerLog::record, &fromA, zt::protocol::kCmdGetParam);
  pending.registerRequest("B", 7, &AnswerLog::record, &fromB, zt::protocol::kCmdGetParam);
  EXPECT_FALSE(pending.storeResponse(7, zt::protocol::kCmdGetParam, "OTHER", "x", 1));
  // A long devId is kept and matched by its first 64 characters.
  std::string strLong(70, 'L');
  pending.registerRequest(strLong, 7, &AnswerLog::record, &fromA, zt::protocol::kCmdGetParam);
  ASSERT_TRUE(pending.storeResponse(7, zt::protocol::kCmdGetParam, strLong.substr(0, 64), "long", 4));
  ASSERT_TRUE(pending.storeResponse(7, zt::protocol::kCmdGetParam, "B", "b", 1));
  ASSERT_TRUE(waitFor([&] { return fromB.count() == 1 && fromA.count() == 1; }));
  ASSERT_TRUE(pending.storeResponse(7, zt::protocol::kCmdGetParam, "A", "a", 1));
  ASSERT_TRUE(waitFor([&] { return fromA.count() == 2; }));
  EXPECT_EQ(fromA.at(0).strData, "long");
  EXPECT_EQ(fromA.at(1).strDevId, "A");
  EXPECT_EQ(fromA.at(1).strData, "a");
  EXPECT_EQ(fromB.at(0).strDevId, "B");
  EXPECT_EQ(fromB.at(0).strData, "b");
}

TEST(ZtsiCallback, NoAnswerIsHandedOverOnceTheGateIsClosed) {
  zt::CallbackGate gate;
  AnswerLog log;
  zt::si::ZtsiCallback pending(gate, fastTiming());
  pending.registerRequest("D1", 1, &AnswerLog::record, &log, zt::protocol::kCmdGetParam);
  pending.registerRequest("D1", 2, &AnswerLog::record, &log, zt::protocol::kCmdGetParam);
  ASSERT_TRUE(pending.storeResponse(1, zt::protocol::kCmdGetParam, "D1", "a", 1));
  ASSERT_TRUE(waitFor([&] { return log.count() == 1; }));
  EXPECT_FALSE(gate.close()) << "this thread runs no callback";
  ASSERT_TRUE(pending.storeResponse(2, zt::protocol::kCmdGetParam, "D1", "b", 1));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log.count(), 1u);
}

TEST(ZtsiCallback, AnswersWithoutAWaitingEntryAreDropped) {
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  EXPECT_FALSE(pending.storeResponse(1, zt::protocol::kCmdGetParam, "D1", "{}", 2));

  AnswerLog log;
  pending.registerRequest("D1", 2, &AnswerLog::record, &log, zt::protocol::kCmdGetParam);
  ASSERT_TRUE(pending.storeResponse(2, zt::protocol::kCmdGetParam, "D1", "x", 1));
  ASSERT_TRUE(waitFor([&] { return log.count() == 1; }));
  // Delivered entries are removed by the next clean-up pass; a late duplicate then finds nothing.
  std::this_thread::sleep_for(150ms);
  EXPECT_FALSE(pending.storeResponse(2, zt::protocol::kCmdGetParam, "D1", "y", 1));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log.count(), 1u);
}

TEST(ZtsiCallback, UnansweredRequestsAreForgottenAfterTheExpiry) {
  AnswerLog log;
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  pending.registerRequest("D1", 3, &AnswerLog::record, &log, zt::protocol::kCmdCtrl);
  std::this_thread::sleep_for(450ms);
  EXPECT_FALSE(pending.storeResponse(3, zt::protocol::kCmdCtrl, "D1", "late", 4));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log.count(), 0u);
}

TEST(ZtsiCallback, AnAnswerWithinTheExpiryIsDelivered) {
  AnswerLog log;
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  pending.registerRequest("D1", 4, &AnswerLog::record, &log, zt::protocol::kCmdCtrl);
  std::this_thread::sleep_for(150ms);
  ASSERT_TRUE(pending.storeResponse(4, zt::protocol::kCmdCtrl, "D1", "in time", 7));
  ASSERT_TRUE(waitFor([&] { return log.count() == 1; }));
  EXPECT_EQ(log.at(0).strData, "in time");
}

TEST(ZtsiCallback, ASecondRequestUnderTheSameSnReplacesTheFirst) {
  AnswerLog first;
  AnswerLog second;
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  uint64_t uFirstTicket = pending.registerRequest("D1", 9, &AnswerLog::record, &first, zt::protocol::kCmdGetParam);
  pending.registerRequest("D1", 9, &AnswerLog::record, &second, zt::protocol::kCmdGetParam);
  // Withdrawing the replaced request must not remove its successor.
  pending.forgetRequest("D1", 9, uFirstTicket);
  ASSERT_TRUE(pending.storeResponse(9, zt::protocol::kCmdGetParam, "D1", "a", 1));
  ASSERT_TRUE(waitFor([&] { return second.count() == 1; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(first.count(), 0u);
}

TEST(ZtsiCallback, AForgottenRequestReceivesNothing) {
  AnswerLog log;
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  uint64_t uTicket = pending.registerRequest("D1", 5, &AnswerLog::record, &log, zt::protocol::kCmdSetParam);
  pending.forgetRequest("D1", 5, uTicket);
  EXPECT_FALSE(pending.storeResponse(5, zt::protocol::kCmdSetParam, "D1", "a", 1));
}

TEST(ZtsiCallback, AStoredAnswerWakesDeliveryBeforeThePeriodEnds) {
  zt::si::ZtsiTiming timing = fastTiming();
  timing.uDeliveryPeriodMs = 60000;
  AnswerLog log;
  zt::si::ZtsiCallback pending(g_openGate, timing);
  pending.registerRequest("D1", 1, &AnswerLog::record, &log, zt::protocol::kCmdGetParam);
  pending.storeResponse(1, zt::protocol::kCmdGetParam, "D1", "a", 1);
  // Well before the minute-long period ends.
  EXPECT_TRUE(waitFor([&] { return log.count() == 1; }, 20000ms));
}

// A response callback that sends a request with its own response callback (registration needs
// the registry's lock, which delivery must not hold while calling).
struct ChainContext {
  ZtsiCallback *pPending = nullptr;
  AnswerLog log;
};

void chainAnswer(const char *, int nSn, const char *, int, void *pUserData) {
  auto *pContext = static_cast<ChainContext *>(pUserData);
  pContext->pPending->registerRequest("D1", nSn + 1, &AnswerLog::record, &pContext->log, zt::protocol::kCmdGetParam);
  pContext->pPending->storeResponse(nSn + 1, zt::protocol::kCmdGetParam, "D1", "chained", 7);
}

TEST(ZtsiCallback, AResponseCallbackMaySendARequestOfItsOwn) {
  ChainContext context;
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  context.pPending = &pending;
  pending.registerRequest("D1", 100, &chainAnswer, &context, zt::protocol::kCmdGetParam);
  pending.storeResponse(100, zt::protocol::kCmdGetParam, "D1", "first", 5);
  ASSERT_TRUE(waitFor([&] { return context.log.count() == 1; }));
  EXPECT_EQ(context.log.at(0).nSn, 101);
  EXPECT_EQ(context.log.at(0).strData, "chained");
}

// An answer stored again while its first delivery is still running is delivered again.
struct SlowContext {
  ZtsiCallback *pPending = nullptr;
  std::atomic<int> nCalls{0};
};

void slowAnswer(const char *, int nSn, const char *, int, void *pUserData) {
  auto *pContext = static_cast<SlowContext *>(pUserData);
  if (pContext->nCalls++ == 0) {
    pContext->pPending->storeResponse(nSn, zt::protocol::kCmdGetParam, "D1", "again", 5);
  }
}

TEST(ZtsiCallback, AnAnswerStoredDuringDeliveryIsDeliveredAgain) {
  SlowContext context;
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  context.pPending = &pending;
  pending.registerRequest("D1", 1, &slowAnswer, &context, zt::protocol::kCmdGetParam);
  pending.storeResponse(1, zt::protocol::kCmdGetParam, "D1", "once", 4);
  EXPECT_TRUE(waitFor([&] { return context.nCalls == 2; }));
}

// Holds the delivery of sn 1 until the test opens the gate.
struct GateContext {
  std::mutex mutex;
  std::condition_variable opened;
  bool bOpen = false;
  std::atomic<bool> bHeld{false};
  AnswerLog log;
};

void gatedAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  auto *pContext = static_cast<GateContext *>(pUserData);
  if (nSn == 1) {
    pContext->bHeld = true;
    std::unique_lock<std::mutex> lock(pContext->mutex);
    pContext->opened.wait(lock, [&] { return pContext->bOpen; });
  }
  AnswerLog::record(pstrDevId, nSn, pData, nLen, &pContext->log);
}

TEST(ZtsiCallback, AnswersStoredDuringADeliveryGoOutInTheNextPassEachOnceInSnOrder) {
  GateContext context;
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  for (int nSn : {1, 4, 2, 3}) {
    pending.registerRequest("D1", nSn, &gatedAnswer, &context, zt::protocol::kCmdGetParam);
  }
  pending.storeResponse(1, zt::protocol::kCmdGetParam, "D1", "1", 1);
  ASSERT_TRUE(waitFor([&] { return context.bHeld.load(); }));
  pending.storeResponse(4, zt::protocol::kCmdGetParam, "D1", "4", 1);
  pending.storeResponse(2, zt::protocol::kCmdGetParam, "D1", "2", 1);
  pending.storeResponse(3, zt::protocol::kCmdGetParam, "D1", "3", 1);
  pending.storeResponse(2, zt::protocol::kCmdGetParam, "D1", "2 again", 7);
  {
    std::lock_guard<std::mutex> lock(context.mutex);
    context.bOpen = true;
  }
  context.opened.notify_all();
  ASSERT_TRUE(waitFor([&] { return context.log.count() == 4; }));
  std::this_thread::sleep_for(100ms); // room for a wrong second delivery of sn 2
  ASSERT_EQ(context.log.count(), 4u);
  const char *apstrData[] = {"1", "2 again", "3", "4"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(context.log.at(i).nSn, i + 1);
    EXPECT_EQ(context.log.at(i).strData, apstrData[i]);
  }
}

void throwFromAnswer(const char *, int, const char *, int, void *) {
  throw std::runtime_error("application callback failed");
}

// An exception out of a response callback used to end the process from the delivery thread.
TEST(ZtsiCallback, AThrowingResponseCallbackLeavesDeliveryRunning) {
  AnswerLog log;
  zt::si::ZtsiCallback pending(g_openGate, fastTiming());
  pending.registerRequest("D1", 1, &throwFromAnswer, nullptr, zt::protocol::kCmdGetParam);
  pending.registerRequest("D1", 2, &AnswerLog::record, &log, zt::protocol::kCmdGetParam);
  EXPECT_TRUE(pending.storeResponse(1, zt::protocol::kCmdGetParam, "D1", "{}", 2));
  EXPECT_TRUE(pending.storeResponse(2, zt::protocol::kCmdGetParam, "D1", "{}", 2));
  ASSERT_TRUE(waitFor([&] { return log.count() == 1; }));
  EXPECT_EQ(log.at(0).nSn, 2);
}

TEST(ZtsiCallback, StopEndsDeliveryPromptly) {
  zt::si::ZtsiTiming timing;
  timing.uCleanupPeriodMs = 60000;
  timing.uDeliveryPeriodMs = 60000;
  auto start = std::chrono::steady_clock::now();
  { zt::si::ZtsiCallback pending(g_openGate, timing); }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20000ms); // not the minute-long periods
}

struct CallCounter {
  int nCalls = 0;
  int nLastLen = -1;
  static void count(const char *, int, const char *, int nLen, void *pUserData) {
    auto *pCounter = static_cast<CallCounter *>(pUserData);
    ++pCounter->nCalls;
    pCounter->nLastLen = nLen;
  }
};

TEST(CallDispatch, HandsOverOnlyWhatTheApplicationTakes) {
  CallCounter counter;
  zt::si::dispatchCall(&CallCounter::count, 0, "D1", 1, "x", 1, &counter);
  zt::si::dispatchCall(&CallCounter::count, 12, "D1", 1, "x", 1, &counter);
  zt::si::dispatchCall(&CallCounter::count, zt::protocol::kCmdRegTestCase, "D1", 1, "x", 1, &counter);
  zt::si::dispatchCall(&CallCounter::count, zt::protocol::kCmdFindDevices, "D1", 1, "", 0, &counter);
  EXPECT_EQ(counter.nCalls, 0);
  zt::si::dispatchCall(nullptr, zt::protocol::kCmdReportData, "D1", 1, "x", 1, &counter);
  EXPECT_EQ(counter.nCalls, 0);

  zt::si::dispatchCall(&CallCounter::count, zt::protocol::kCmdFindDevices, "D1", 1, "x", 1, &counter);
  zt::si::dispatchCall(&CallCounter::count, zt::protocol::kCmdReportEvent, "D1", 1, "", 0, &counter);
  zt::si::dispatchCall(&CallCounter::count, zt::protocol::kCmdQryRunModel, "D1", 1, "abc", 3, &counter);
  EXPECT_EQ(counter.nCalls, 3);
  EXPECT_EQ(counter.nLastLen, 3);
}

} // namespace
