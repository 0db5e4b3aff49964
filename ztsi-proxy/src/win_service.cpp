#include "win_service.h"

#include "stop_signal.h"
#include "unit_template.h"

namespace zt::proxy {

std::string serviceUnitText(const std::string &strExecStart) {
  std::string strText = kUnitTemplate;
  const std::string strPlaceholder = "{ExecStart}";
  size_t nPos = strText.find(strPlaceholder);
  if (nPos != std::string::npos)
    strText.replace(nPos, strPlaceholder.size(), strExecStart);
  return strText;
}

WinService::WinService(zt::platform::SystemdService &systemd, std::string strDisplayName, std::ostream &out,
                       std::ostream &err)
    : m_systemd(systemd), m_strDisplayName(std::move(strDisplayName)), m_out(out), m_err(err) {}

int WinService::Main(const CommandLine &commandLine, const std::string &strExecStart) {
  switch (commandLine.eSwitch) {
  case ServiceSwitch::Run:
    return run();
  case ServiceSwitch::RunAsApp:
    m_out << "ztsi-proxy runasapp" << std::endl;
    return run();
  case ServiceSwitch::Help:
    m_out << usageText();
    return 0;
  default:
    break;
  }
  if (!m_systemd.systemdRunning()) {
    m_err << "ztsi-proxy: systemd is not running on this system, so the service switches cannot work;"
             " run the program in the foreground instead"
          << std::endl;
    return 1;
  }
  bool bDone = false;
  switch (commandLine.eSwitch) {
  case ServiceSwitch::Install:
    bDone = install(strExecStart) && start();
    break;
  case ServiceSwitch::InstallOnly:
    bDone = install(strExecStart);
    break;
  case ServiceSwitch::UnInstall:
    m_out << "UnInstall" << std::endl;
    bDone = uninstall();
    break;
  default:
    bDone = stop();
    break;
  }
  return bDone ? 0 : 1;
}

int WinService::run() {
  zt::platform::blockStopSignals();
  OnStart();
  zt::platform::waitForStopSignal();
  OnStop();
  return 0;
}

bool WinService::fail(const std::string &strWhat) {
  m_err << "ztsi-proxy: " << strWhat << std::endl;
  return false;
}

bool WinService::install(const std::string &strExecStart) {
  if (m_systemd.unitInstalled()) {
    m_out << m_systemd.name() << " has installed" << std::endl;
    return true;
  }
  if (!m_systemd.writeUnit(serviceUnitText(strExecStart)))
    return fail("cannot write " + m_systemd.unitPath());
  if (!m_systemd.systemctl({"daemon-reload"}, false) || !m_systemd.systemctl({"enable"}))
    return fail("systemctl could not enable " + m_systemd.name());
  if (OnInstall() != 0)
    return fail("installing " + m_strDisplayName + " failed");
  return true;
}

bool WinService::start() {
  if (!m_systemd.systemctl({"start"}))
    return fail("!!WinService::Start,StartService fail: systemctl start " + m_systemd.name() + " failed");
  return true;
}

bool WinService::stop() {
  if (m_systemd.active() && !m_systemd.systemctl({"stop"}))
    return fail("systemctl could not stop " + m_systemd.name());
  return true;
}

bool WinService::uninstall() {
  if (!m_systemd.unitInstalled())
    return fail(m_systemd.name() + " is not installed");
  if (OnUnInstall() != 0)
    return fail("uninstalling " + m_strDisplayName + " failed");
  if (!stop())
    return false;
  if (!m_systemd.systemctl({"disable"}))
    return fail("systemctl could not disable " + m_systemd.name());
  if (!m_systemd.removeUnit())
    return fail("cannot remove " + m_systemd.unitPath());
  m_systemd.systemctl({"daemon-reload"}, false);
  return true;
}

} // namespace zt::proxy
