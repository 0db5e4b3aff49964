// A driver on ztdm and an application on ztsi against the real broker.
#include "busline.h"
#include "end_to_end_fixture.h"
#include "ztda_impl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <iostream>
#include <map>
#include <memory>
#include <set>

namespace {

using namespace std::chrono_literals;
using zt::test::answerOf;
using zt::test::Delivery;
using zt::test::parseAnswer;
using zt::test::ParsedAnswer;
using zt::test::TestApp;
using zt::test::TestDriver;

using zt::test::EndToEnd;

TEST_F(EndToEnd, DiscoveryFillsTheRegistryReplaysItAndCollectsTestCases) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  m_pDriver->addDevice("C1", "D1", zt::test::kVdtReader);
  ASSERT_EQ(ztdm_regTestCase(m_pDriver->handle(), 16, "{\"steps\":[1,2]}", 15), 0);
  ASSERT_EQ(ztdm_regTestCase(m_pDriver->handle(), 17, "not json", 8), 0);

  TestApp app(port());
  ASSERT_NE(app.handle(), nullptr);
  // An empty registry sends the discovery for "X"; the answers come through the found-device
  // callback given at creation, never through this call's callback.
  ASSERT_TRUE(zt::test::waitFor(
      [&] {
        EXPECT_EQ(ztsi_GetFoundDev(app.handle(), &TestApp::onReplayed), 0);
        return app.waitCount("found", 2, 500ms);
      },
      10000ms));
  EXPECT_EQ(app.count("replayed"), 0u);
  std::set<std::string> setFound;
  for (const Delivery &found : app.deliveries("found")) {
    EXPECT_EQ(found.strDevId, found.strData) << "the topic's devId and the announced id";
    EXPECT_GT(found.nSn, 0);
    setFound.insert(found.strData);
  }
  EXPECT_EQ(setFound, (std::set<std::string>{"C1", "D1"}));

  ASSERT_EQ(ztsi_GetFoundDev(app.handle(), &TestApp::onReplayed), 0);
  std::vector<Delivery> vecReplayed = app.deliveries("replayed");
  ASSERT_EQ(vecReplayed.size(), 2u);
  DeviceInfo first;
  DeviceInfo second;
  memcpy(&first, vecReplayed[0].strData.data(), sizeof(first));
  memcpy(&second, vecReplayed[1].strData.data(), sizeof(second));
  EXPECT_STREQ(first.id, "C1") << "ascending devId order";
  EXPECT_STREQ(first.pid, "D1");
  EXPECT_EQ(first.vdt, zt::test::kVdtReader);
  EXPECT_STREQ(first.name, "name of C1");
  EXPECT_STREQ(first.model, "T-1");
  EXPECT_STREQ(second.id, "D1");
  EXPECT_STREQ(second.pid, "0");
  EXPECT_EQ(vecReplayed[0].strDevId, "(null)");
  EXPECT_EQ(vecReplayed[0].nSn, 1);

  // The test case that is not JSON is kept but left out of the array.
  std::string strExpected = "[{\"testCase\":{\"steps\":[1,2]},\"vdt\":\"16\"}]";
  std::string strCases;
  ASSERT_TRUE(zt::test::waitFor([&] {
    int nLen = 0;
    const char *pstrCases = ztsi_GetTestCase(app.handle(), &nLen);
    strCases.assign(pstrCases, nLen);
    return strCases == strExpected;
  })) << strCases;
}

TEST_F(EndToEnd, EachRequestKindIsAnsweredThroughItsCallback) {
  for (const char *pstrId : {"D1", "FAIL", "SLOW"}) {
    m_pDriver->addDevice(pstrId, "0", zt::test::kVdtGate);
  }
  m_pDriver->addDevice("C1", "D1", zt::test::kVdtReader);
  TestApp app(port());
  for (const char *pstrId : {"C1", "D1", "FAIL", "SLOW"}) {
    ASSERT_TRUE(app.discover(pstrId));
  }

  zt::test::sendEachRequestKind(app);
  ASSERT_EQ(ztsi_SetParam(app.handle(), "FAIL", 15, "{}", 2, &TestApp::onAnswer), 0);
  ASSERT_EQ(ztsi_GetParam(app.handle(), "SLOW", 16, &TestApp::onAnswer), 0);
  ASSERT_EQ(ztsi_GetRunModel(app.handle(), "D1", 17, &TestApp::onAnswer), 0);

  zt::test::expectEachRequestKindAnswered(app);
  ParsedAnswer answer = answerOf(app, 15, "FAIL");
  EXPECT_EQ(answer.nCode, zt::test::kDriverFailure);
  EXPECT_EQ(answer.strDesc, "");
  // A deferred request is answered with code 4 once its time has passed.
  answer = answerOf(app, 16, "SLOW");
  EXPECT_EQ(answer.nCmd, 3);
  EXPECT_EQ(answer.nCode, 4);
  EXPECT_EQ(parseAnswer(answer.strDesc).nCode, 4);
  answer = answerOf(app, 17, "D1");
  EXPECT_EQ(answer.nCmd, 11);
  EXPECT_EQ(answer.strDesc, "{\"runmodel\":0}");

  // sn 0 draws a fresh one, which the answer carries.
  size_t nBefore = app.count("answer");
  ASSERT_EQ(ztsi_GetParam(app.handle(), "D1", 0, &TestApp::onAnswer), 0);
  ASSERT_TRUE(app.waitCount("answer", nBefore + 1));
  Delivery fresh = app.deliveries("answer").back();
  EXPECT_GT(fresh.nSn, 0);
  EXPECT_EQ(parseAnswer(fresh.strData).strDesc,
            "{\"param\":\"D1\",\"sn\":" + std::to_string(fresh.nSn) + "}");
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(app.count("answer"), nBefore + 1) << "every answer is delivered once";
}

TEST_F(EndToEnd, ReportsOfEachKindReachTheirCallbacks) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  m_pDriver->addDevice("C1", "D1", zt::test::kVdtReader);
  TestApp app(port());
  ASSERT_TRUE(app.discover("D1"));
  // An answered request of the child shows that the broker has taken the application's
  // subscription of D1's children, which it sent before the request.
  ASSERT_EQ(ztsi_QryStatus(app.handle(), "C1", 3, &TestApp::onAnswer), 0);
  ASSERT_TRUE(app.waitCount("answer", 1));

  ASSERT_EQ(ztdm_ReportStatus(m_pDriver->handle(), "D1", 5, "online", 6), 0);
  ASSERT_EQ(ztdm_ReportData(m_pDriver->handle(), "C1", 0, "card 42", 7), 0);
  ASSERT_EQ(ztdm_ReportEvent(m_pDriver->handle(), "D1", 6, "opened", 6), 0);
  ASSERT_TRUE(app.waitCount("status", 1));
  ASSERT_TRUE(app.waitCount("data", 1));
  ASSERT_TRUE(app.waitCount("event", 1));

  Delivery status = app.deliveries("status")[0];
  EXPECT_EQ(status.strDevId, "D1");
  EXPECT_EQ(status.nSn, 5);
  EXPECT_EQ(status.strData, "online");
  Delivery data = app.deliveries("data")[0];
  EXPECT_EQ(data.strDevId, "C1") << "a child's reports arrive through its parent's subscription";
  EXPECT_GT(data.nSn, 0);
  EXPECT_EQ(data.strData, "card 42");
  Delivery event = app.deliveries("event")[0];
  EXPECT_EQ(event.nSn, 6);
  EXPECT_EQ(event.strData, "opened");

  // Without a callback a report is dropped; a replaced callback takes the next one.
  ztsi_SetStatusCallback(app.handle(), nullptr);
  ASSERT_EQ(ztdm_ReportStatus(m_pDriver->handle(), "D1", 7, "dropped", 7), 0);
  ASSERT_EQ(ztdm_ReportEvent(m_pDriver->handle(), "D1", 9, "after the drop", 14), 0);
  ASSERT_TRUE(app.waitCount("event", 2));
  ztsi_SetStatusCallback(app.handle(), &TestApp::onData);
  ASSERT_EQ(ztdm_ReportStatus(m_pDriver->handle(), "D1", 8, "rerouted", 8), 0);
  ASSERT_TRUE(app.waitCount("data", 2));
  EXPECT_EQ(app.deliveries("data")[1].strData, "rerouted");
  EXPECT_EQ(app.count("status"), 1u);
}

TEST_F(EndToEnd, DebugAndNormalRunModelsWithCreateEx) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  m_pDriver->addDevice("C1", "D1", zt::test::kVdtReader);
  TestApp app(port(), 1);
  ASSERT_NE(app.handle(), nullptr);
  ASSERT_TRUE(app.discover("D1"));

  // Run-model requests travel on DEV-TEST in either model; the device side moves to Debug.
  ASSERT_EQ(ztsi_SetRunModel(app.handle(), "D1", 21, 1, &TestApp::onAnswer), 0);
  ParsedAnswer answer = answerOf(app, 21, "D1");
  EXPECT_EQ(answer.nCmd, 10);
  EXPECT_EQ(answer.strDesc, "{\"runmodel\":1}");

  // In Debug, requests and answers of root and child devices travel on TEST topics.
  ASSERT_EQ(ztsi_GetParam(app.handle(), "D1", 22, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 22, "D1").strDesc, "{\"param\":\"D1\",\"sn\":22}");
  ASSERT_EQ(ztsi_QryStatus(app.handle(), "C1", 23, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 23, "C1").strDesc, "status C1");
  ASSERT_EQ(ztdm_ReportEvent(m_pDriver->handle(), "C1", 24, "debug event", 11), 0);
  ASSERT_TRUE(app.waitCount("event", 1));
  EXPECT_EQ(app.deliveries("event")[0].strData, "debug event");
  ASSERT_EQ(ztsi_GetRunModel(app.handle(), "D1", 25, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 25, "D1").strDesc, "{\"runmodel\":1}");

  // Back to Normal: a Normal application reaches the device again on DEV topics.
  ASSERT_EQ(ztsi_SetRunModel(app.handle(), "D1", 26, 0, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 26, "D1").strDesc, "{\"runmodel\":0}");
  TestApp normalApp(port());
  ASSERT_TRUE(normalApp.discover("D1"));
  ASSERT_EQ(ztsi_GetParam(normalApp.handle(), "D1", 27, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(normalApp, 27, "D1").strDesc, "{\"param\":\"D1\",\"sn\":27}");
}

TEST_F(EndToEnd, ASecondRequestUnderTheSameSnReplacesTheFirst) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  TestApp app(port());
  ASSERT_TRUE(app.discover("D1"));
  ASSERT_EQ(ztsi_GetParam(app.handle(), "D1", 500, &TestApp::onOtherAnswer), 0);
  ASSERT_EQ(ztsi_GetParam(app.handle(), "D1", 500, &TestApp::onAnswer), 0);
  ASSERT_TRUE(app.waitCount("answer", 1));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(app.count("other answer"), 0u);
}

// Answers a request by sending the next one, with a response callback of its own.
void chainedAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  auto *pApp = static_cast<TestApp *>(pUserData);
  pApp->record("first answer", pstrDevId, nSn, pData, nLen);
  pApp->record("chained send", "", ztsi_QryStatus(pApp->handle(), "D1", nSn + 1, &TestApp::onAnswer), nullptr,
               0);
}

TEST_F(EndToEnd, AResponseCallbackMaySendARequestOfItsOwn) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  TestApp app(port());
  ASSERT_TRUE(app.discover("D1"));
  ASSERT_EQ(ztsi_GetParam(app.handle(), "D1", 900, &chainedAnswer), 0);
  EXPECT_EQ(answerOf(app, 901, "D1").strDesc, "status D1");
  EXPECT_EQ(app.count("first answer"), 1u);
  EXPECT_EQ(app.deliveries("chained send")[0].nSn, 0);
}

// A response callback that is still running when ztsi_Destory begins, and then sends a request.
struct DestroyDuringCallback {
  ZtsiHandle *pHandle = nullptr;
  std::atomic<bool> bEntered{false};
  std::atomic<bool> bDestroying{false};
  std::atomic<int> nSendResult{-100};
};
DestroyDuringCallback g_destroyDuringCallback;

void answerThatOutlivesDestroyStart(const char *, int, const char *, int, void *) {
  DestroyDuringCallback &state = g_destroyDuringCallback;
  state.bEntered = true;
  zt::test::waitFor([&] { return state.bDestroying.load(); });
  std::this_thread::sleep_for(200ms); // ztsi_Destory is now waiting for this thread to end
  state.nSendResult =
      ztsi_QryStatus(state.pHandle, "D1", 0, [](const char *, int, const char *, int, void *) {});
}

TEST_F(EndToEnd, DestroyWaitsForAResponseCallbackThatSendsARequest) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  DestroyDuringCallback &state = g_destroyDuringCallback;
  state.bEntered = false;
  state.bDestroying = false;
  state.pHandle = ztsi_Create(address().c_str(), nullptr, nullptr);
  ASSERT_NE(state.pHandle, nullptr);
  ASSERT_TRUE(zt::test::waitFor(
      [&] {
        ztsi_FindDevices(state.pHandle, "X", 0, nullptr);
        return zt::test::waitFor(
            [&] { return ztsi_GetParam(state.pHandle, "D1", 0, &answerThatOutlivesDestroyStart) == 0; },
            300ms);
      },
      10000ms));
  ASSERT_TRUE(zt::test::waitFor([&] { return state.bEntered.load(); }));

  std::promise<void> destroyed;
  std::future<void> destroyDone = destroyed.get_future();
  std::thread destroyer([&] {
    state.bDestroying = true;
    ztsi_Destory(state.pHandle);
    destroyed.set_value();
  });
  if (destroyDone.wait_for(5s) != std::future_status::ready) {
    destroyer.detach(); // deadlocked: leave it behind so the remaining tests can run
    FAIL() << "ztsi_Destory deadlocked with a response callback that sends a request";
  }
  destroyer.join();
  EXPECT_EQ(state.nSendResult, 0) << "the session is still open while callbacks finish";
}

TEST_F(EndToEnd, ManyRequestsFromSeveralThreadsAreEachAnsweredOnce) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  m_pDriver->addDevice("C1", "D1", zt::test::kVdtReader);
  TestApp app(port());
  ASSERT_TRUE(app.discover("D1"));
  ASSERT_TRUE(app.discover("C1"));

  constexpr int kThreads = 4;
  constexpr int kPerThread = 250;
  std::atomic<int> nNotSent{0};
  std::vector<std::thread> vecThreads;
  for (int nThread = 0; nThread < kThreads; ++nThread) {
    vecThreads.emplace_back([&, nThread] {
      for (int i = 0; i < kPerThread; ++i) {
        int nSn = 10000 + nThread * kPerThread + i;
        const char *pstrDevId = i % 2 == 0 ? "D1" : "C1";
        if (ztsi_GetParam(app.handle(), pstrDevId, nSn, &TestApp::onAnswer) != 0) {
          ++nNotSent;
        }
      }
    });
  }
  for (std::thread &thread : vecThreads) {
    thread.join();
  }
  EXPECT_EQ(nNotSent, 0);
  ASSERT_TRUE(app.waitCount("answer", kThreads * kPerThread, 20000ms));
  std::this_thread::sleep_for(300ms);

  std::vector<Delivery> vecAnswers = app.deliveries("answer");
  ASSERT_EQ(vecAnswers.size(), static_cast<size_t>(kThreads * kPerThread));
  std::set<int> setSn;
  for (const Delivery &answer : vecAnswers) {
    setSn.insert(answer.nSn);
    std::string strExpectedDevId = (answer.nSn - 10000) % 2 == 0 ? "D1" : "C1";
    EXPECT_EQ(answer.strDevId, strExpectedDevId);
    EXPECT_EQ(parseAnswer(answer.strData).strDesc,
              "{\"param\":\"" + strExpectedDevId + "\",\"sn\":" + std::to_string(answer.nSn) + "}");
  }
  EXPECT_EQ(setSn.size(), static_cast<size_t>(kThreads * kPerThread)) << "each sn exactly once";
}

// Records what the internal instance hands over.
struct Recorder {
  std::mutex mutex;
  std::vector<int> vecSn;
  static void onAnswer(const char *, int nSn, const char *, int, void *pUserData) {
    auto *pRecorder = static_cast<Recorder *>(pUserData);
    std::lock_guard<std::mutex> lock(pRecorder->mutex);
    pRecorder->vecSn.push_back(nSn);
  }
  bool has(int nSn) {
    std::lock_guard<std::mutex> lock(mutex);
    return std::find(vecSn.begin(), vecSn.end(), nSn) != vecSn.end();
  }
};

TEST_F(EndToEnd, UnansweredRequestsAreForgottenAfterTheExpiry) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  m_pDriver->addDevice("LATE", "0", zt::test::kVdtGate);
  zt::si::ZtsiTiming timing;
  timing.uExpiryMs = 500;
  timing.uCleanupPeriodMs = 50;
  Recorder recorder;
  zt::si::ZtdaImpl impl(0, timing);
  ASSERT_EQ(impl.init(address().c_str(), nullptr, &recorder), 0);
  ASSERT_TRUE(zt::test::waitFor(
      [&] {
        impl.findDevices("X", 0);
        return zt::test::waitFor([&] { return impl.getParam("LATE", 0, nullptr) == 0; }, 300ms);
      },
      10000ms));

  // The driver answers after 1.5 s, long after the entry was forgotten.
  ASSERT_EQ(impl.getParam("LATE", 77, &Recorder::onAnswer), 0);
  ASSERT_EQ(impl.getParam("D1", 78, &Recorder::onAnswer), 0);
  EXPECT_TRUE(zt::test::waitFor([&] { return recorder.has(78); }));
  std::this_thread::sleep_for(3000ms);
  EXPECT_FALSE(recorder.has(77));
}

namespace {

std::atomic<int> g_nAnnouncements{0};

void countAnnouncement(const char *, int, const DeviceInfo *, void *) {
  ++g_nAnnouncements;
}

} // namespace

TEST_F(EndToEnd, RepeatedAnnouncementsSubscribeNothingNew) {
  m_pDriver->addDevice("R1", "0", zt::test::kVdtGate);
  m_pDriver->addDevice("R2", "R1", zt::test::kVdtReader);
  g_nAnnouncements = 0;
  zt::si::ZtdaImpl impl(0);
  ASSERT_EQ(impl.init(address().c_str(), &countAnnouncement, nullptr), 0);
  ASSERT_TRUE(zt::test::waitFor(
      [&] {
        impl.findDevices("R1", 0);
        return zt::test::waitFor(
            [&] { return impl.getParam("R1", 0, nullptr) == 0 && impl.getParam("R2", 0, nullptr) == 0; }, 300ms);
      },
      10000ms));
  // A device is addressable just before its announcement's subscriptions are made; the found-device
  // callback of a later announcement, on the same thread, shows they are all made.
  int nSeen = g_nAnnouncements;
  ASSERT_EQ(impl.findDevices("R1", 0), 0);
  ASSERT_TRUE(zt::test::waitFor([&] { return g_nAnnouncements > nSeen; }));
  size_t nSubscriptions = impl.subscriptionCount();
  int nBefore = g_nAnnouncements;
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(impl.findDevices("R1", 0), 0);
  }
  // Every discovery is answered with a new announcement of the same device.
  EXPECT_TRUE(zt::test::waitFor([&] { return g_nAnnouncements >= nBefore + 20; }));
  EXPECT_EQ(impl.subscriptionCount(), nSubscriptions);
}

TEST_F(EndToEnd, BadInputIsRefusedOrDroppedWithoutHarm) {
  m_pDriver->addDevice("QUIET", "0", zt::test::kVdtGate);
  TestApp app(port());
  ASSERT_TRUE(app.discover("QUIET"));
  EXPECT_EQ(ztsi_GetParam(app.handle(), std::string(65, 'q').c_str(), 0, &TestApp::onAnswer), -1);
  EXPECT_EQ(ztsi_GetParam(app.handle(), std::string(64, 'q').c_str(), 0, &TestApp::onAnswer), 1);
  EXPECT_EQ(ztsi_GetParam(app.handle(), "NOPE", 0, &TestApp::onAnswer), 1);

  // QUIET never answers; a raw client answers in its place, first with what must be dropped.
  ASSERT_EQ(ztsi_GetParam(app.handle(), "QUIET", 4242, &TestApp::onAnswer), 0);
  BuslineHandle *pRaw = busline_init("127.0.0.1", port(), nullptr, 1, 5, 1, nullptr, nullptr, nullptr);
  ASSERT_NE(pRaw, nullptr);
  ASSERT_TRUE(zt::test::waitFor([&] { return busline_get_connect_state(pRaw) == 1; }));
  const std::string strBody = "{\"cmd\":3,\"code\":0,\"desc\":\"raw\"}";
  for (const char *pstrTopic : {"ZTDM/UP/DEV/0/16/QUIET/GetParam/extra", "ZTDM/UP/DEV/0//QUIET/GetParam",
                                "ZTDM/UP/DEV/0/16/QUIET/Reboot"}) {
    EXPECT_EQ(
        busline_publish(pRaw, pstrTopic, strBody.data(), static_cast<int>(strBody.size()), 2, 0, 4242, 3, ""),
        0);
  }
  // An announcement shorter than a device record is dropped.
  std::string strShort(100, 'S');
  EXPECT_EQ(busline_publish(pRaw, "ZTDM/UP/DEV/0/16/SHORT/FindDevices", strShort.data(),
                            static_cast<int>(strShort.size()), 2, 0, 1, 1, ""),
            0);
  EXPECT_EQ(busline_publish(pRaw, "ZTDM/UP/DEV/0/16/QUIET/GetParam", strBody.data(),
                            static_cast<int>(strBody.size()), 2, 0, 4242, 3, ""),
            0);
  ASSERT_TRUE(app.waitCount("answer", 1));
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(app.count("answer"), 1u);
  EXPECT_EQ(parseAnswer(app.deliveries("answer")[0].strData).strDesc, "raw");
  EXPECT_EQ(ztsi_GetParam(app.handle(), "SHORT", 0, nullptr), 1);
  busline_exit(pRaw);
}

TEST_F(EndToEnd, DevicesAnnouncedWithAnEmptyPidOrAsTheirOwnParentAreReachable) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  TestApp app(port());
  ASSERT_TRUE(app.discover("D1"));
  // The registration announces the record as the driver passed it, with the empty pid.
  m_pDriver->addDevice("E1", "", zt::test::kVdtGate);
  m_pDriver->addDevice("E1-CHILD", "E1", zt::test::kVdtReader);
  ASSERT_TRUE(zt::test::waitFor([&] { return app.hasFound("E1-CHILD"); }));
  ASSERT_EQ(ztsi_GetParam(app.handle(), "E1", 31, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 31, "E1").strDesc, "{\"param\":\"E1\",\"sn\":31}");
  ASSERT_EQ(ztdm_ReportData(m_pDriver->handle(), "E1-CHILD", 32, "child", 5), 0);
  ASSERT_TRUE(app.waitCount("data", 1));
  EXPECT_EQ(app.deliveries("data")[0].strDevId, "E1-CHILD");

  // A device that names itself as parent is a root device to the device side: its topics carry its own
  // id in the pid segment, and its answers and reports arrive like those of its children.
  m_pDriver->addDevice("S1", "S1", zt::test::kVdtGate);
  ASSERT_TRUE(zt::test::waitFor([&] { return app.hasFound("S1"); }));
  ASSERT_EQ(ztsi_GetParam(app.handle(), "S1", 33, &TestApp::onAnswer), 0);
  EXPECT_EQ(answerOf(app, 33, "S1").strDesc, "{\"param\":\"S1\",\"sn\":33}");
  ASSERT_EQ(ztdm_ReportData(m_pDriver->handle(), "S1", 34, "self", 4), 0);
  ASSERT_TRUE(app.waitCount("data", 2));
  EXPECT_EQ(app.deliveries("data")[1].strDevId, "S1");
}

TEST_F(EndToEnd, AnswersAreMatchedByDeviceAndSn) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  m_pDriver->addDevice("SLOW", "0", zt::test::kVdtGate);
  m_pDriver->addDevice("C1", "D1", zt::test::kVdtReader);
  // On a device side of its own: one device side keeps one deferred request per sn.
  TestDriver otherDriver(port());
  otherDriver.addDevice("QUIET", "0", zt::test::kVdtGate);
  TestApp app(port());
  for (const char *pstrId : {"C1", "D1", "SLOW", "QUIET"}) {
    ASSERT_TRUE(app.discover(pstrId));
  }

  // The same sn to two devices: each answer reaches the callback of its own request.
  ASSERT_EQ(ztsi_GetParam(app.handle(), "D1", 700, &TestApp::onAnswer), 0);
  ASSERT_EQ(ztsi_GetParam(app.handle(), "C1", 700, &TestApp::onOtherAnswer), 0);
  ASSERT_TRUE(app.waitCount("answer", 1));
  ASSERT_TRUE(app.waitCount("other answer", 1));
  EXPECT_EQ(app.deliveries("answer")[0].strDevId, "D1");
  EXPECT_EQ(parseAnswer(app.deliveries("answer")[0].strData).strDesc, "{\"param\":\"D1\",\"sn\":700}");
  EXPECT_EQ(app.deliveries("other answer")[0].strDevId, "C1");
  EXPECT_EQ(parseAnswer(app.deliveries("other answer")[0].strData).strDesc, "{\"param\":\"C1\",\"sn\":700}");

  // A late answer of one device does not complete the request another device has not answered.
  ASSERT_EQ(ztsi_GetParam(app.handle(), "SLOW", 701, &TestApp::onAnswer), 0);
  ASSERT_EQ(ztsi_GetParam(app.handle(), "QUIET", 701, &TestApp::onOtherAnswer), 0);
  EXPECT_EQ(answerOf(app, 701, "SLOW").nCode, 4);
  // An answer of D1 sent after SLOW's shows that nothing else is on its way.
  ASSERT_EQ(ztsi_GetParam(app.handle(), "D1", 702, &TestApp::onAnswer), 0);
  answerOf(app, 702, "D1");
  EXPECT_EQ(app.count("other answer"), 1u);
}

// Announces a root device and a child of an already subscribed parent in one run model, and counts
// the found-device callbacks of each announcement.
void expectEachAnnouncementOnce(TestDriver &driver, int nPort, int nRunModel, const std::string &strPrefix) {
  SCOPED_TRACE("run model " + std::to_string(nRunModel));
  const std::string strParent = strPrefix + "P";
  const std::string strRoot = strPrefix + "R";
  const std::string strChild = strPrefix + "K";
  driver.addDevice(strParent, "0", zt::test::kVdtGate);
  TestApp app(nPort, nRunModel);
  ASSERT_TRUE(app.discover(strParent));
  // The device side moves to the app's run model; the answer also shows that the broker has taken
  // the subscriptions made for the parent's announcement.
  ASSERT_EQ(ztsi_SetRunModel(app.handle(), strParent.c_str(), 1, nRunModel, &TestApp::onAnswer), 0);
  ASSERT_TRUE(app.waitCount("answer", 1));

  size_t nParentCalls = app.count("found");
  driver.addDevice(strRoot, "0", zt::test::kVdtGate);
  driver.addDevice(strChild, strParent, zt::test::kVdtReader);
  ASSERT_TRUE(zt::test::waitFor([&] { return app.hasFound(strRoot) && app.hasFound(strChild); }));
  // The child's answer leaves the device side after both announcements: every copy of them has been
  // handled once it has arrived.
  ASSERT_EQ(ztsi_QryStatus(app.handle(), strChild.c_str(), 2, &TestApp::onAnswer), 0);
  ASSERT_TRUE(app.waitCount("answer", 2));
  std::map<std::string, int> mapCalls;
  for (const Delivery &found : app.deliveries("found")) {
    ++mapCalls[found.strData];
  }
  EXPECT_EQ(mapCalls[strRoot], 1);
  EXPECT_EQ(mapCalls[strChild], 1);
  EXPECT_EQ(app.count("found"), nParentCalls + 2);
}

TEST_F(EndToEnd, EachAnnouncementReachesTheFoundDeviceCallbackOnce) {
  expectEachAnnouncementOnce(*m_pDriver, port(), 0, "N");
  expectEachAnnouncementOnce(*m_pDriver, port(), 1, "T");
}

} // namespace

namespace {

// Last, since it restarts the broker that the other tests share.
TEST_F(EndToEnd, TrafficResumesAfterABrokerRestartWithoutNewInstances) {
  m_pDriver->addDevice("D1", "0", zt::test::kVdtGate);
  TestApp app(port());
  ASSERT_TRUE(app.discover("D1"));

  std::atomic<bool> bRun{true};
  std::atomic<int> nNextSn{50000};
  std::mutex mutexSent;
  std::set<int> setSent;
  std::atomic<int> nNotSent{0};
  std::thread traffic([&] {
    while (bRun) {
      int nSn = nNextSn++;
      int nRet = ztsi_GetParam(app.handle(), "D1", nSn, &TestApp::onAnswer);
      if (nRet == 0) {
        std::lock_guard<std::mutex> lock(mutexSent);
        setSent.insert(nSn);
      } else {
        EXPECT_EQ(nRet, 1);
        ++nNotSent;
      }
      std::this_thread::sleep_for(20ms);
    }
  });

  ASSERT_TRUE(app.waitCount("answer", 5));
  auto restarted = std::chrono::steady_clock::now();
  ASSERT_TRUE(broker().restart());
  int nFirstSnAfterRestart = nNextSn;
  bool bResumed = zt::test::waitFor(
      [&] {
        for (const Delivery &answer : app.deliveries("answer")) {
          if (answer.nSn > nFirstSnAfterRestart) {
            return true;
          }
        }
        return false;
      },
      25000ms);
  double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count();
  std::this_thread::sleep_for(300ms);
  bRun = false;
  traffic.join();
  EXPECT_TRUE(bResumed) << "no answer after the restart";
  std::cout << "traffic resumed " << dSeconds << " s after the restart; " << nNotSent
            << " requests not sent\n";

  std::set<int> setAnswered;
  std::lock_guard<std::mutex> lock(mutexSent);
  for (const Delivery &answer : app.deliveries("answer")) {
    EXPECT_TRUE(setAnswered.insert(answer.nSn).second) << "sn " << answer.nSn << " delivered twice";
    EXPECT_EQ(setSent.count(answer.nSn), 1u) << "answer for a request that was not sent";
  }
}

} // namespace
