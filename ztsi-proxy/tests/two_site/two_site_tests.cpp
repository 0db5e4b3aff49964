// Two sites end to end with the real programs: two brokers, the two ztsi-proxy processes, the
// driver on ztdm at site A and the application on ztsi at site B. Every test starts from a
// link that carries reports and requests, and leaves it so.
#include "two_sites.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>

namespace zt::test {
namespace {

using namespace std::chrono_literals;

// Long enough for any answer that crosses the link, short of the 15 s the server-mode proxy
// waits before it gives up on a lost one: an answer within this time came "at once".
constexpr auto kAnswerWait = 10s;

const char *const kListedDevices[] = {"gate-1", "gate-2", "panel-1", "slow-1"};

// Milliseconds of the time stamp that starts a log line ("2024-05-01 12:00:00.123  [...").
int64_t timeOfLine(const std::string &strLine) {
  std::tm time{};
  int nMs = 0;
  if (std::sscanf(strLine.c_str(), "%d-%d-%d %d:%d:%d.%d", &time.tm_year, &time.tm_mon, &time.tm_mday,
                  &time.tm_hour, &time.tm_min, &time.tm_sec, &nMs) != 7) {
    return -1;
  }
  time.tm_year -= 1900;
  time.tm_mon -= 1;
  return static_cast<int64_t>(timegm(&time)) * 1000 + nMs;
}

// The lines with strText written since the process last started.
std::vector<std::string> linesOfLastRun(const ProxyProcess &proxy, const std::string &strText) {
  std::vector<std::string> vecAll = proxy.logLines(strText);
  std::vector<std::string> vecStarts = proxy.logLines(proxy_log::kStarted);
  int64_t nLastStart = vecStarts.empty() ? 0 : timeOfLine(vecStarts.back());
  std::vector<std::string> vecLines;
  std::copy_if(vecAll.begin(), vecAll.end(), std::back_inserter(vecLines),
               [&](const std::string &strLine) { return timeOfLine(strLine) >= nLastStart; });
  return vecLines;
}

std::string tailOfLog(const ProxyProcess &proxy, size_t nLines) {
  std::vector<std::string> vecLines = proxy.logLines("");
  std::string strTail;
  for (size_t i = vecLines.size() > nLines ? vecLines.size() - nLines : 0; i < vecLines.size(); ++i) {
    strTail += vecLines[i] + "\n";
  }
  return strTail;
}

class TwoSiteTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_pSites = std::make_unique<TwoSites>();
    s_bStarted = s_pSites->start();
  }
  static void TearDownTestSuite() { s_pSites.reset(); }

  void SetUp() override {
    ASSERT_TRUE(s_bStarted) << "the brokers, the driver, the applications or a proxy did not start";
    ASSERT_TRUE(sites().waitReachable()) << "site A's devices are not reachable from site B";
  }
  void TearDown() override {
    if (HasFailure()) {
      std::printf("--- client-mode proxy log (end):\n%s--- server-mode proxy log (end):\n%s",
                  tailOfLog(sites().m_client, 40).c_str(), tailOfLog(sites().m_server, 40).c_str());
    }
  }

  static TwoSites &sites() { return *s_pSites; }
  static SiteApplication &appB() { return s_pSites->m_appB; }
  static SiteDriver &driver() { return s_pSites->m_driver; }

  // The application at B sends a request with a fresh sn (through send); its answer, which must
  // come at once.
  static Answer ask(const std::function<int(int)> &send, int &nSn) {
    nSn = sites().nextSn();
    EXPECT_EQ(send(nSn), 0) << "the application at site B does not know the device";
    std::optional<Answer> answer = appB().waitAnswer(nSn, kAnswerWait);
    EXPECT_TRUE(answer.has_value()) << "no answer for sn " << nSn;
    return answer.value_or(Answer{});
  }

  // The request with nSn reached the driver's entry point for this command, device and data.
  static void expectReachedDriver(int nSn, const char *pstrCommand, const char *pstrDevId,
                                  const std::string &strData) {
    std::optional<DriverRequest> request = driver().request(nSn);
    ASSERT_TRUE(request.has_value()) << pstrCommand << " with sn " << nSn << " did not reach the driver";
    EXPECT_EQ(request->strCommand, pstrCommand);
    EXPECT_EQ(request->strDevId, pstrDevId);
    EXPECT_EQ(request->strData, strData);
  }

  // A GetParam of gate-1 from site B fails at once with the proxy's own code -1.
  static void expectGateUnreachable() {
    int nSn = 0;
    Answer answer = ask([](int n) { return appB().getParam("gate-1", n); }, nSn);
    EXPECT_EQ(answer.nCode, -1) << answer.strText;
    EXPECT_FALSE(driver().request(nSn).has_value());
  }

private:
  static inline std::unique_ptr<TwoSites> s_pSites;
  static inline bool s_bStarted = false;
};

TEST_F(TwoSiteTest, ListedDevicesAreFoundAtSiteBWithTheirRecordAndTheUnlistedOneIsNot) {
  SiteApplication &appA = sites().m_appA;
  ASSERT_EQ(appA.findDevices(), 0);
  EXPECT_TRUE(appA.waitFound("cam-1", 1, kAnswerWait)) << "the unlisted device is announced at site A";

  std::map<std::string, int> mapBefore;
  for (const char *pstrId : kListedDevices) {
    mapBefore[pstrId] = appB().timesFound(pstrId);
  }
  // The server-mode proxy answers with every device it serves in one pass: cam-1 would have
  // come with the others.
  ASSERT_EQ(appB().findDevices(), 0);
  for (const char *pstrId : kListedDevices) {
    EXPECT_TRUE(appB().waitFound(pstrId, mapBefore[pstrId] + 1, kAnswerWait)) << pstrId;
  }
  EXPECT_EQ(appB().timesFound("cam-1"), 0);

  std::optional<DeviceInfo> gate = appB().foundDevice("gate-2");
  ASSERT_TRUE(gate.has_value());
  EXPECT_STREQ(gate->name, "exit gate");
  EXPECT_EQ(gate->vdt, SiteDriver::kListedVdt);
  EXPECT_EQ(gate->type, 3);
  EXPECT_STREQ(gate->pid, "0");
  EXPECT_STREQ(gate->desc, "two-site test device");
  EXPECT_STREQ(gate->model, "T-1");
}

TEST_F(TwoSiteTest, RequestsReachTheDriverWithDevIdSnAndDataAndTheirAnswersComeBack) {
  // Non-ASCII bytes and JSON punctuation must cross both brokers and the envelope unchanged.
  const std::string strSettings = "{\"speed\":3,\"name\":\"入口闸机\",\"note\":\"a \\\"quoted\\\" word\"}";
  int nSn = 0;
  Answer set = ask([&](int n) { return appB().setParam("gate-1", n, strSettings); }, nSn);
  EXPECT_EQ(set.nCmd, 2);
  EXPECT_EQ(set.nCode, 0) << set.strText;
  EXPECT_EQ(set.strDesc, "");
  EXPECT_EQ(set.strDevId, "gate-1");
  expectReachedDriver(nSn, "SetParam", "gate-1", strSettings);

  Answer get = ask([](int n) { return appB().getParam("gate-2", n); }, nSn);
  EXPECT_EQ(get.nCmd, 3);
  EXPECT_EQ(get.nCode, 0) << get.strText;
  EXPECT_EQ(get.strDesc, "param:gate-2:" + std::to_string(nSn));
  expectReachedDriver(nSn, "GetParam", "gate-2", "");

  Answer ctrl = ask([](int n) { return appB().ctrl("gate-1", n, "open"); }, nSn);
  EXPECT_EQ(ctrl.nCmd, 4);
  EXPECT_EQ(ctrl.nCode, 0) << ctrl.strText;
  EXPECT_EQ(ctrl.strDesc, "done:open");
  expectReachedDriver(nSn, "Ctrl", "gate-1", "open");

  // A JSON status without a "code" member is the device's answer, passed on as it is.
  Answer status = ask([](int n) { return appB().qryStatus("gate-2", n); }, nSn);
  EXPECT_EQ(status.nCmd, 5);
  EXPECT_EQ(status.nCode, 0) << status.strText;
  EXPECT_EQ(status.strDesc, "{\"online\":true,\"devId\":\"gate-2\"}");
  expectReachedDriver(nSn, "QryStatus", "gate-2", "");
}

TEST_F(TwoSiteTest, FailureCodesAndNestedAnswersArriveWithTheirOwnCode) {
  int nSn = 0;
  // A driver failure is not turned into success on the way back.
  Answer set = ask([](int n) { return appB().setParam("gate-1", n, "fail:7"); }, nSn);
  EXPECT_EQ(set.nCode, 7) << set.strText;
  EXPECT_TRUE(driver().request(nSn).has_value());

  Answer ctrl = ask([](int n) { return appB().ctrl("gate-2", n, "fail:5"); }, nSn);
  EXPECT_EQ(ctrl.nCode, 5) << ctrl.strText;
  EXPECT_TRUE(driver().request(nSn).has_value());

  // An answer text that is itself {"code","data"} gives that code and data. (With a code other
  // than 0 ztdm at site B publishes no data, as it does for any driver failure.)
  Answer nested = ask([](int n) { return appB().ctrl("gate-1", n, "nested:0"); }, nSn);
  EXPECT_EQ(nested.nCode, 0) << nested.strText;
  EXPECT_EQ(nested.strDesc, "x");
  Answer nestedFailure = ask([](int n) { return appB().ctrl("gate-1", n, "nested:3"); }, nSn);
  EXPECT_EQ(nestedFailure.nCode, 3) << nestedFailure.strText;

  // ztdm at site A answers for the missing entry point; its code crosses the link.
  Answer missing = ask([](int n) { return appB().qryStatus("panel-1", n); }, nSn);
  EXPECT_EQ(missing.nCode, -2) << missing.strText;
  EXPECT_FALSE(driver().request(nSn).has_value());
}

TEST_F(TwoSiteTest, ReportsOfListedDevicesArriveAtSiteBWithTheirSnAndData) {
  SiteApplication &appA = sites().m_appA;
  // Sent first: by the time the later reports arrive, this one would have too.
  int nUnlistedSn = sites().nextSn();
  ASSERT_EQ(driver().report(ReportKind::Event, "cam-1", nUnlistedSn, "unlisted"), 0);

  struct Sent {
    ReportKind kind;
    const char *pstrDevId;
    std::string strData;
    int nSn;
  };
  const Sent sent[] = {
      {ReportKind::Data, "gate-1", "plate:粤B12345", sites().nextSn()},
      {ReportKind::Status, "gate-2", "{\"online\":false,\"reason\":\"power\"}", sites().nextSn()},
      {ReportKind::Event, "panel-1", "door-forced", sites().nextSn()}};
  for (const Sent &report : sent) {
    ASSERT_EQ(driver().report(report.kind, report.pstrDevId, report.nSn, report.strData), 0);
  }
  for (const Sent &report : sent) {
    std::optional<Report> arrived = appB().waitReport(report.kind, report.strData, kAnswerWait);
    ASSERT_TRUE(arrived.has_value()) << report.strData;
    EXPECT_EQ(arrived->strDevId, report.pstrDevId);
    EXPECT_EQ(arrived->nSn, report.nSn);
  }
  EXPECT_TRUE(appA.waitReport(ReportKind::Event, "unlisted", kAnswerWait).has_value())
      << "the unlisted device's report is published at site A";
  EXPECT_FALSE(appB().report(ReportKind::Event, "unlisted").has_value());
}

TEST_F(TwoSiteTest, HeartbeatsGoAtTheConfiguredPeriodAndAreAnswered) {
  ProxyProcess &client = sites().m_client;
  ProxyProcess &server = sites().m_server;
  int nAnswered = server.countLogLines(proxy_log::kHeartbeatAnswered);
  ASSERT_TRUE(waitFor([&] { return linesOfLastRun(client, proxy_log::kHeartbeatSent).size() >= 6; },
                      std::chrono::seconds(8 * TwoSites::kHeartbeatS)));
  EXPECT_TRUE(server.waitForLog(proxy_log::kHeartbeatAnswered, nAnswered + 2,
                                std::chrono::seconds(4 * TwoSites::kHeartbeatS)));

  std::vector<std::string> vecSent = linesOfLastRun(client, proxy_log::kHeartbeatSent);
  std::vector<int64_t> vecGapsMs;
  for (size_t i = 1; i < vecSent.size(); ++i) {
    vecGapsMs.push_back(timeOfLine(vecSent[i]) - timeOfLine(vecSent[i - 1]));
  }
  std::sort(vecGapsMs.begin(), vecGapsMs.end());
  // The link thread ticks once a second: the period is kHeartbeatS ticks, not every tick and not
  // the default of 60.
  int64_t nMedianMs = vecGapsMs[vecGapsMs.size() / 2];
  EXPECT_GE(nMedianMs, TwoSites::kHeartbeatS * 1000 - 500);
  EXPECT_LE(nMedianMs, TwoSites::kHeartbeatS * 1000 + 1500);
}

TEST_F(TwoSiteTest, ARequestWaitingForItsDeviceHoldsUpNeitherOtherDevicesNorReports) {
  // slow-1's GetConfig waits for releaseSlow(); slow-1 has a ztdm instance of its own at site A,
  // so only the server-mode proxy could hold gate-1's request behind it.
  int nSlowSn = sites().nextSn();
  ASSERT_EQ(appB().getParam("slow-1", nSlowSn), 0);
  ASSERT_TRUE(driver().waitRequest(nSlowSn, kAnswerWait));

  int nFastSn = sites().nextSn();
  ASSERT_EQ(appB().getParam("gate-1", nFastSn), 0);
  const std::string strReport = "while-slow-1-waits";
  ASSERT_EQ(driver().report(ReportKind::Data, "gate-2", sites().nextSn(), strReport), 0);
  // One wait for both, so that slow-1 is released well before the server-mode proxy would give
  // up on it (15 s) even when they do not come.
  waitFor([&] { return appB().answer(nFastSn) && appB().report(ReportKind::Data, strReport); }, kAnswerWait);
  bool bFastAnswered = appB().answer(nFastSn).has_value();
  bool bReported = appB().report(ReportKind::Data, strReport).has_value();
  bool bSlowAnswered = appB().answer(nSlowSn).has_value();
  driver().releaseSlow();
  EXPECT_TRUE(bFastAnswered) << "gate-1's request waited for slow-1's answer";
  EXPECT_TRUE(bReported) << "gate-2's report waited for slow-1's answer";
  EXPECT_FALSE(bSlowAnswered);

  std::optional<Answer> slow = appB().waitAnswer(nSlowSn, kAnswerWait);
  ASSERT_TRUE(slow.has_value());
  EXPECT_EQ(slow->nCode, 0) << slow->strText;
  EXPECT_EQ(slow->strDesc, "param:slow-1:" + std::to_string(nSlowSn));
  // Leave no request behind for the next test.
  std::optional<Answer> fast = appB().waitAnswer(nFastSn, kAnswerWait);
  ASSERT_TRUE(fast.has_value());
  EXPECT_EQ(fast->strDesc, "param:gate-1:" + std::to_string(nFastSn));
}

TEST_F(TwoSiteTest, StoppedClientProxyFailsRequestsAtOnceAndARestartedOneServesAgain) {
  ProxyProcess &client = sites().m_client;
  ProxyProcess &server = sites().m_server;
  int nLost = server.countLogLines(proxy_log::kServerLostClient);
  EXPECT_EQ(client.stop(), 0) << "a clean stop exits with 0";
  ASSERT_TRUE(server.waitForLog(proxy_log::kServerLostClient, nLost + 1, kAnswerWait));
  expectGateUnreachable();

  ASSERT_TRUE(client.start());
  EXPECT_TRUE(sites().waitReachable());
}

TEST_F(TwoSiteTest, RestartedServerProxyRegistersTheDevicesAgainUnderItsNewIdentity) {
  ProxyProcess &client = sites().m_client;
  ProxyProcess &server = sites().m_server;
  std::string strOldId = sites().serverAppId();
  int nFound = appB().timesFound("gate-1");
  EXPECT_EQ(server.stop(), 0) << "a clean stop exits with 0";
  ASSERT_TRUE(sites().startServer());

  std::string strNewId = sites().serverAppId();
  EXPECT_NE(strNewId, strOldId);
  EXPECT_EQ(strNewId.rfind("server-", 0), 0u) << strNewId;
  EXPECT_TRUE(client.waitForLog(proxy_log::kNewServerAppId + strNewId, 1, 40s))
      << "the client-mode proxy did not see the new server identity";
  EXPECT_TRUE(appB().waitFound("gate-1", nFound + 1, 40s)) << "gate-1 was not registered at site B again";
  EXPECT_TRUE(sites().waitReachable());
}

TEST_F(TwoSiteTest, CutLinkFailsRequestsAtOnceAndTheRestoredLinkServesAgain) {
  ProxyProcess &client = sites().m_client;
  ProxyProcess &server = sites().m_server;
  TcpRelay &relay = sites().m_relay;
  int nClientLost = client.countLogLines(proxy_log::kClientLostServer);
  int nServerLost = server.countLogLines(proxy_log::kServerLostClient);
  int nAccepted = relay.accepted();

  relay.cut();
  EXPECT_TRUE(client.waitForLog(proxy_log::kClientLostServer, nClientLost + 1, kAnswerWait));
  ASSERT_TRUE(server.waitForLog(proxy_log::kServerLostClient, nServerLost + 1, kAnswerWait));
  expectGateUnreachable();

  // Both proxies kept running: the client has to register its devices again by itself.
  ASSERT_TRUE(relay.restore());
  EXPECT_TRUE(sites().waitReachable());
  EXPECT_GT(relay.accepted(), nAccepted);
}

TEST_F(TwoSiteTest, RestartedBrokerAtSiteAResumesTraffic) {
  ASSERT_TRUE(sites().m_brokerA.restart());
  EXPECT_TRUE(sites().waitReachable());
}

TEST_F(TwoSiteTest, RestartedBrokerAtSiteBResumesTraffic) {
  ASSERT_TRUE(sites().m_brokerB.restart());
  EXPECT_TRUE(sites().waitReachable());
}

} // namespace
} // namespace zt::test
