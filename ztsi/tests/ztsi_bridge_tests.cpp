// A site spread over two mosquitto nodes: node B bridges every ZTDM topic to node A
// (scripts/local-broker --bridge-to). Drivers on one node and applications on the other must
// work as on one broker: discovery, requests, reports and run-model changes cross the bridge,
// none of them twice, in order, and again after node A restarts.
#include "end_to_end_support.h"

#include "broker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using zt::test::answerOf;
using zt::test::Broker;
using zt::test::Delivery;
using zt::test::TestApp;
using zt::test::TestDriver;

constexpr int kBurst = 2000;

class BridgedNodes : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_pNodeA = std::make_unique<Broker>();
    ASSERT_TRUE(s_pNodeA->start());
    s_pNodeB = std::make_unique<Broker>();
    s_pNodeB->bridgeTo(*s_pNodeA);
    ASSERT_TRUE(s_pNodeB->start());
  }
  static void TearDownTestSuite() {
    s_pNodeB.reset();
    s_pNodeA.reset();
  }
  static Broker &nodeA() { return *s_pNodeA; }
  static Broker &nodeB() { return *s_pNodeB; }

  // A gate D1 with a reader C1 below it.
  static void addGateAndReader(TestDriver &driver) {
    driver.addDevice("D1", "0", zt::test::kVdtGate);
    driver.addDevice("C1", "D1", zt::test::kVdtReader);
  }

  // kBurst data reports of C1 (sn 1 to kBurst, in that order) must each reach the application
  // once, in the order sent.
  static void expectBurstArrivesOnceInOrder(TestDriver &driver, TestApp &app) {
    // An answered request of the child shows that the application's subscription of D1's
    // children has reached the broker.
    ASSERT_EQ(ztsi_QryStatus(app.handle(), "C1", 1, &TestApp::onAnswer), 0);
    ASSERT_TRUE(app.waitCount("answer", 1, 10s));
    for (int nSn = 1; nSn <= kBurst; ++nSn) {
      std::string strBody = "report " + std::to_string(nSn);
      ASSERT_EQ(ztdm_ReportData(driver.handle(), "C1", nSn, strBody.data(), static_cast<int>(strBody.size())),
                0);
    }
    EXPECT_TRUE(app.waitCount("data", kBurst, 20s)) << app.count("data") << " of " << kBurst << " arrived";
    std::this_thread::sleep_for(300ms);
    std::vector<Delivery> vecData = app.deliveries("data");
    EXPECT_EQ(vecData.size(), static_cast<size_t>(kBurst)) << "none lost, none twice";
    int nExpected = 1;
    for (const Delivery &data : vecData) {
      ASSERT_EQ(data.nSn, nExpected) << "in the order sent";
      EXPECT_EQ(data.strDevId, "C1");
      EXPECT_EQ(data.strData, "report " + std::to_string(nExpected));
      ++nExpected;
    }
  }

private:
  static inline std::unique_ptr<Broker> s_pNodeA;
  static inline std::unique_ptr<Broker> s_pNodeB;
};

TEST_F(BridgedNodes, DiscoveryTestCasesAndEachRequestKindCrossTheBridgeOnce) {
  TestDriver driver(nodeA().port());
  addGateAndReader(driver);
  driver.addDevice("FAIL", "0", zt::test::kVdtGate);
  ASSERT_EQ(ztdm_regTestCase(driver.handle(), 16, "{\"steps\":[1]}", 13), 0);
  TestApp app(nodeB().port());
  for (const char *pstrId : {"D1", "C1", "FAIL"}) {
    ASSERT_TRUE(app.discover(pstrId)) << pstrId;
  }

  zt::test::sendEachRequestKind(app);
  ASSERT_EQ(ztsi_SetParam(app.handle(), "FAIL", 15, "{}", 2, &TestApp::onAnswer), 0);
  zt::test::expectEachRequestKindAnswered(app);
  EXPECT_EQ(answerOf(app, 15, "FAIL").nCode, zt::test::kDriverFailure);

  std::string strCases;
  EXPECT_TRUE(zt::test::waitFor([&] {
    int nLen = 0;
    const char *pstrCases = ztsi_GetTestCase(app.handle(), &nLen);
    strCases.assign(pstrCases, static_cast<size_t>(nLen));
    return strCases == "[{\"testCase\":{\"steps\":[1]},\"vdt\":\"16\"}]";
  })) << strCases;

  // One more discovery announces each device exactly once more.
  std::this_thread::sleep_for(300ms);
  size_t nFound = app.count("found");
  ASSERT_EQ(ztsi_FindDevices(app.handle(), "X", 0, nullptr), 0);
  EXPECT_TRUE(app.waitCount("found", nFound + 3));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(app.count("found"), nFound + 3);
  EXPECT_EQ(app.count("answer"), 5u) << "every answer arrives once";
}

TEST_F(BridgedNodes, ReportsOfEachKindCrossTheBridgeOnce) {
  TestDriver driver(nodeA().port());
  addGateAndReader(driver);
  TestApp app(nodeB().port());
  ASSERT_TRUE(app.discover("D1"));
  ASSERT_EQ(ztsi_QryStatus(app.handle(), "C1", 3, &TestApp::onAnswer), 0);
  ASSERT_TRUE(app.waitCount("answer", 1));

  ASSERT_EQ(ztdm_ReportStatus(driver.handle(), "D1", 5, "online", 6), 0);
  ASSERT_EQ(ztdm_ReportData(driver.handle(), "C1", 6, "card 42", 7), 0);
  ASSERT_EQ(ztdm_ReportEvent(driver.handle(), "D1", 7, "opened", 6), 0);
  ASSERT_TRUE(app.waitCount("status", 1));
  ASSERT_TRUE(app.waitCount("data", 1));
  ASSERT_TRUE(app.waitCount("event", 1));
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(app.count("status") + app.count("data") + app.count("event"), 3u);
  Delivery status = app.deliveries("status")[0];
  EXPECT_EQ(status.strDevId, "D1");
  EXPECT_EQ(status.nSn, 5);
  EXPECT_EQ(status.strData, "online");
  Delivery data = app.deliveries("data")[0];
  EXPECT_EQ(data.strDevId, "C1");
  EXPECT_EQ(data.nSn, 6);
  EXPECT_EQ(data.strData, "card 42");
  Delivery event = app.deliveries("event")[0];
  EXPECT_EQ(event.nSn, 7);
  EXPECT_EQ(event.strData, "opened");
}

TEST_F(BridgedNodes, RunModelChangesCrossTheBridge) {
  TestDriver driver(nodeA().port());
  addGateAndReader(driver);
  TestApp app(nodeB().port(), 1);
  ASSERT_TRUE(app.discover("D1"));

  ASSERT_EQ(ztsi_SetRunModel(app.handle(), "D1", 21, 1, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 21, "D1").strDesc, "{\"runmodel\":1}");
  ASSERT_EQ(ztsi_QryStatus(app.handle(), "C1", 22, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 22, "C1").strDesc, "status C1");
  ASSERT_EQ(ztdm_ReportEvent(driver.handle(), "C1", 23, "debug event", 11), 0);
  ASSERT_TRUE(app.waitCount("event", 1));
  EXPECT_EQ(app.deliveries("event")[0].strData, "debug event");
  ASSERT_EQ(ztsi_GetRunModel(app.handle(), "D1", 24, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 24, "D1").strDesc, "{\"runmodel\":1}");

  ASSERT_EQ(ztsi_SetRunModel(app.handle(), "D1", 25, 0, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 25, "D1").strDesc, "{\"runmodel\":0}");
  TestApp normalApp(nodeB().port());
  ASSERT_TRUE(normalApp.discover("D1"));
  ASSERT_EQ(ztsi_GetParam(normalApp.handle(), "D1", 26, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(normalApp, 26, "D1").strDesc, "{\"param\":\"D1\",\"sn\":26}");
}

// The bridge is made by node B, so its two directions are not alike on the wire.
TEST_F(BridgedNodes, BurstsOfReportsArriveOnceAndInOrderEitherWay) {
  for (bool bDriverOnA : {true, false}) {
    SCOPED_TRACE(bDriverOnA ? "driver on node A" : "driver on node B");
    TestDriver driver(bDriverOnA ? nodeA().port() : nodeB().port());
    addGateAndReader(driver);
    TestApp app(bDriverOnA ? nodeB().port() : nodeA().port());
    ASSERT_TRUE(app.discover("D1"));
    expectBurstArrivesOnceInOrder(driver, app);
  }
}

TEST_F(BridgedNodes, ADriverOnTheBridgingNodeAnswersAnApplicationOnTheOther) {
  TestDriver driver(nodeB().port());
  addGateAndReader(driver);
  TestApp app(nodeA().port());
  ASSERT_TRUE(app.discover("C1"));
  ASSERT_EQ(ztsi_GetParam(app.handle(), "D1", 31, &TestApp::onAnswer), 0);
  ASSERT_EQ(ztsi_Ctrl(app.handle(), "C1", 32, "close", 5, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 31, "D1").strDesc, "{\"param\":\"D1\",\"sn\":31}");
  EXPECT_EQ(answerOf(app, 32, "C1").strDesc, "ctrl C1:close");
}

// Last, since it restarts node A, which the other tests share.
TEST_F(BridgedNodes, TrafficResumesAfterNodeARestartsWithoutNewInstances) {
  TestDriver driver(nodeA().port());
  addGateAndReader(driver);
  TestApp app(nodeB().port());
  ASSERT_TRUE(app.discover("D1"));

  // A request and a report every 20 ms, each under an sn of its own.
  std::atomic<bool> bRun{true};
  std::atomic<int> nNextSn{50000};
  std::mutex mutexSent;
  std::set<int> setRequested;
  std::set<int> setReported;
  std::thread traffic([&] {
    while (bRun) {
      int nSn = nNextSn++;
      bool bRequested = ztsi_GetParam(app.handle(), "D1", nSn, &TestApp::onAnswer) == 0;
      bool bReported = ztdm_ReportStatus(driver.handle(), "D1", nSn, "tick", 4) == 0;
      {
        std::lock_guard<std::mutex> lock(mutexSent);
        if (bRequested) {
          setRequested.insert(nSn);
        }
        if (bReported) {
          setReported.insert(nSn);
        }
      }
      std::this_thread::sleep_for(20ms);
    }
  });
  ASSERT_TRUE(app.waitCount("answer", 5));
  ASSERT_TRUE(app.waitCount("status", 5));

  auto restarted = std::chrono::steady_clock::now();
  ASSERT_TRUE(nodeA().restart());
  int nFirstSnAfterRestart = nNextSn;
  auto arrivedAfterRestart = [&](const char *pstrChannel) {
    for (const Delivery &delivery : app.deliveries(pstrChannel)) {
      if (delivery.nSn > nFirstSnAfterRestart) {
        return true;
      }
    }
    return false;
  };
  bool bResumed = zt::test::waitFor(
      [&] { return arrivedAfterRestart("answer") && arrivedAfterRestart("status"); }, 25000ms);
  double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count();
  std::this_thread::sleep_for(300ms);
  bRun = false;
  traffic.join();
  ASSERT_TRUE(bResumed) << "no answer or no report after the restart";
  std::cout << "requests and reports crossed the bridge again " << dSeconds << " s after node A restarted\n";

  std::lock_guard<std::mutex> lock(mutexSent);
  for (const char *pstrChannel : {"answer", "status"}) {
    const std::set<int> &setSent = std::string(pstrChannel) == "answer" ? setRequested : setReported;
    std::set<int> setArrived;
    for (const Delivery &delivery : app.deliveries(pstrChannel)) {
      EXPECT_TRUE(setArrived.insert(delivery.nSn).second)
          << pstrChannel << " sn " << delivery.nSn << " twice";
      EXPECT_EQ(setSent.count(delivery.nSn), 1u) << pstrChannel << " sn " << delivery.nSn << " was not sent";
    }
  }
}

} // namespace
