#include "ztsi_proxy_service.h"

#include "command_table.h"
#include "log_option.h"
#include "logger.h"
#include "version.h"

namespace zt::proxy {

ZtsiProxyService::ZtsiProxyService(std::string strBaseDir, zt::platform::SystemdService &systemd, std::ostream &out,
                                   std::ostream &err, ProxyTimings timings)
    : WinService(systemd, "ZTSI Proxy Service", out, err), m_strBaseDir(std::move(strBaseDir)),
      m_timings(timings) {}

ZtsiProxyService::~ZtsiProxyService() { OnStop(); }

void ZtsiProxyService::OnStart() {
  zt::log::Logger::instance().start(loadLogOption(m_strBaseDir));
  logInfo("ZtsiProxyService::OnStart,1,启动ztsi-proxy服务.");
  loadSystemConfig(m_strBaseDir, m_data);
  buildCommandTable();
  logInfo("ZtsiProxyService::OnStart,2,version:%s", versionString().c_str());
  m_pLink = std::make_unique<ZtipHandle>(m_data, m_timings.link);
  if (m_data.serverMode()) {
    m_pServerBridge = std::make_unique<ZtdmHandle>(m_data, *m_pLink, m_timings.ackTimeout);
    m_pServerBridge->init();
    m_pLink->attachBridge(m_pServerBridge.get());
  } else {
    m_pClientBridge = std::make_unique<ZtsiHandle>(m_data, *m_pLink);
    m_pClientBridge->init();
    m_pLink->attachBridge(m_pClientBridge.get());
  }
  m_pLink->init();
  m_bStarted = true;
  logInfo("ZtsiProxyService::OnStart,3");
}

void ZtsiProxyService::OnStop() {
  if (!m_bStarted)
    return;
  m_bStarted = false;
  logInfo("ZtsiProxyService::OnStop,1,停止ztsi-proxy服务.");
  m_pLink->release();
  if (m_pServerBridge)
    m_pServerBridge->release();
  if (m_pClientBridge)
    m_pClientBridge->release();
  logInfo("ZtsiProxyService::OnStop,2");
  zt::log::Logger::instance().stop();
  m_pLink.reset();
  m_pServerBridge.reset();
  m_pClientBridge.reset();
}

} // namespace zt::proxy
