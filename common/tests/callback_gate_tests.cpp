// The callback gate: closing from inside and outside a section, waiting for other threads.
#include "callback_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using zt::CallbackGate;

TEST(CallbackGate, ClosingInsideASectionWaitsOnlyForOtherThreads) {
  CallbackGate gate;
  std::atomic<bool> bOtherInside{false};
  std::atomic<bool> bRelease{false};
  std::atomic<bool> bOtherLeft{false};
  std::thread other([&] {
    CallbackGate::Section section(gate);
    ASSERT_TRUE(section);
    bOtherInside = true;
    while (!bRelease) {
      std::this_thread::sleep_for(1ms);
    }
    bOtherLeft = true;
  });
  while (!bOtherInside) {
    std::this_thread::sleep_for(1ms);
  }
  {
    CallbackGate::Section outer(gate);
    CallbackGate::Section nested(gate);
    ASSERT_TRUE(outer && nested);
    EXPECT_TRUE(gate.close()) << "closed from inside a section of this thread";
    EXPECT_FALSE(CallbackGate::Section(gate)) << "no section starts once closed";
    std::thread releaser([&] {
      std::this_thread::sleep_for(50ms);
      bRelease = true;
    });
    gate.waitForOtherThreads();
    EXPECT_TRUE(bOtherLeft) << "returned while another thread was still inside";
    releaser.join();
  }
  gate.waitForAll();
  other.join();
}

TEST(CallbackGate, ClosingOutsideASectionWaitsForEveryThread) {
  CallbackGate gate;
  std::atomic<bool> bInside{false};
  std::atomic<bool> bLeft{false};
  std::thread callback([&] {
    CallbackGate::Section section(gate);
    bInside = true;
    std::this_thread::sleep_for(50ms);
    bLeft = true;
  });
  while (!bInside) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_FALSE(gate.close());
  gate.waitForOtherThreads();
  EXPECT_TRUE(bLeft);
  callback.join();
}

TEST(CallbackGate, ASectionOfAnotherGateDoesNotCountAsInside) {
  CallbackGate ownGate;
  CallbackGate otherGate;
  CallbackGate::Section other(otherGate);
  EXPECT_FALSE(ownGate.close()) << "the thread is inside another gate only";
  EXPECT_TRUE(otherGate.close());
}

} // namespace
