#include "two_sites.h"

#include <thread>

namespace zt::test {

namespace {

using namespace std::chrono_literals;

// Client mode (nRunMode 0) connects to strAddr and proxies the listed vdts; server mode (1)
// listens on it.
ProxyConfig proxyConfig(int nRunMode, int nBrokerPort, const std::string &strAddr) {
  ProxyConfig config;
  config.nRunMode = nRunMode;
  config.nMqttPort = nBrokerPort;
  (nRunMode == 0 ? config.strRemoteAddr : config.strLocalAddr) = strAddr;
  config.nHeartbeatTimeoutS = TwoSites::kHeartbeatS;
  if (nRunMode == 0) {
    config.vecVdtList = {SiteDriver::kListedVdt, SiteDriver::kListedVdtWithoutStatus};
  }
  return config;
}

} // namespace

TwoSites::TwoSites()
    : m_nLinkPort(freeTcpPort()), m_relay(m_nLinkPort),
      m_client(ZT_PROXY_EXECUTABLE,
               proxyConfig(0, m_brokerA.port(), "127.0.0.1:" + std::to_string(m_relay.port()))),
      m_server(ZT_PROXY_EXECUTABLE,
               proxyConfig(1, m_brokerB.port(), "127.0.0.1:" + std::to_string(m_nLinkPort))) {}

bool TwoSites::start() {
  return m_brokerA.start() && m_brokerB.start() && m_relay.start() && m_driver.start(m_brokerA.port()) &&
         m_appA.start(m_brokerA.port()) && m_appB.start(m_brokerB.port()) && startServer() &&
         m_client.start();
}

bool TwoSites::startServer() {
  int nListening = m_server.countLogLines(proxy_log::kListening);
  return m_server.start() && m_server.waitForLog(proxy_log::kListening, nListening + 1);
}

bool TwoSites::waitReachable(std::chrono::seconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  auto timeLeft = [&] { return std::chrono::steady_clock::now() < deadline; };
  // Reports first: a lost one costs nothing, while a lost request holds the proxy's request
  // thread for its whole answer time.
  bool bReported = false;
  while (!bReported && timeLeft()) {
    std::string strProbe = "probe-" + std::to_string(nextSn());
    m_driver.report(ReportKind::Event, "gate-1", 0, strProbe);
    bReported = m_appB.waitReport(ReportKind::Event, strProbe, 500ms).has_value();
  }
  while (bReported && timeLeft()) {
    int nSn = nextSn();
    if (m_appB.getParam("gate-1", nSn) == 0) {
      std::optional<Answer> answer = m_appB.waitAnswer(nSn, 20s);
      if (answer && answer->nCode == 0 && answer->strDesc == "param:gate-1:" + std::to_string(nSn)) {
        return true;
      }
    }
    std::this_thread::sleep_for(300ms);
  }
  return false;
}

std::string TwoSites::serverAppId() const {
  std::vector<std::string> vecLines = m_server.logLines(proxy_log::kServerAppIdSetting);
  if (vecLines.empty()) {
    return std::string();
  }
  const std::string &strLine = vecLines.back();
  size_t nBegin = strLine.rfind(proxy_log::kServerAppIdSetting) + proxy_log::kServerAppIdSetting.size();
  size_t nEnd = strLine.find(']', nBegin);
  return nEnd == std::string::npos ? std::string() : strLine.substr(nBegin, nEnd - nBegin);
}

} // namespace zt::test
