// Two sites joined by two ztsi-proxy processes, as an integrator deploys them: site A with its
// broker, the device driver and the client-mode proxy; site B with its broker, the server-mode
// proxy and an application. The link runs through a relay the tests can cut. An application at
// site A shows what the devices announce and report there.
#pragma once

#include "broker.h"
#include "proxy_process.h"
#include "site_application.h"
#include "site_driver.h"
#include "tcp_relay.h"

#include <atomic>
#include <chrono>
#include <string>

namespace zt::test {

// Log texts of the proxies that the tests wait for.
namespace proxy_log {
inline const std::string kStarted = "ZtsiProxyService::OnStart,1,";
inline const std::string kListening = "ZtipHandle::checkConnect,ztIP_StartTCPServer,侦听成功";
inline const std::string kClientLostServer = "ZtipHandle::onZtipConnectionNotify,客户端与服务端断开连接";
inline const std::string kServerLostClient = "ZtipHandle::onZtipConnectionNotify,服务端与客户端的连接断开";
inline const std::string kHeartbeatSent = "ZtipHandle::sendHeartbeat,发送心跳包.";
inline const std::string kHeartbeatAnswered = "的心跳包，需要应答.";
inline const std::string kNewServerAppId = "ZtipHandle::onHeartbeat,收到新的服务端AppId:";
inline const std::string kServerAppIdSetting = "strServerAppId=[";
} // namespace proxy_log

class TwoSites {
public:
  static constexpr int kHeartbeatS = 2;

  TwoSites();

  // Brokers, relay, driver, applications, the server-mode proxy (until it listens) and then the
  // client-mode proxy; false at the first part that does not start.
  bool start();
  // Starts the server-mode proxy and waits until it listens for the client.
  bool startServer();
  // Waits until a report from site A reaches the application at B and a GetParam from B is
  // answered by the driver at A.
  bool waitReachable(std::chrono::seconds timeout = std::chrono::seconds(60));
  // A sequence number no request or report of the tests used before.
  int nextSn() { return ++m_nSn; }
  // The app id the server-mode proxy started with most recently (from its log).
  std::string serverAppId() const;

  // Members end in reverse order: the proxies first, the brokers last.
  Broker m_brokerA;
  Broker m_brokerB;
  const int m_nLinkPort;
  TcpRelay m_relay;
  SiteDriver m_driver;
  SiteApplication m_appA;
  SiteApplication m_appB;
  ProxyProcess m_client;
  ProxyProcess m_server;

private:
  std::atomic<int> m_nSn{1000};
};

} // namespace zt::test
