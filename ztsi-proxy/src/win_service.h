// The service host: the switches that install, start, stop and remove the service (systemd
// here), and the run in the foreground between OnStart and OnStop that systemd supervises.
#pragma once

#include "command_line.h"
#include "systemd_service.h"

#include <ostream>
#include <string>

namespace zt::proxy {

class WinService {
public:
  WinService(zt::platform::SystemdService &systemd, std::string strDisplayName, std::ostream &out,
             std::ostream &err);
  virtual ~WinService() = default;
  WinService(const WinService &) = delete;
  WinService &operator=(const WinService &) = delete;

  // Carries out the switch; returns the exit status. strExecStart is the command line the unit
  // runs. The run switches block SIGTERM and SIGINT first: call it before any thread starts.
  int Main(const CommandLine &commandLine, const std::string &strExecStart);

  virtual void OnStart() = 0;
  virtual void OnStop() {}
  // After the unit was written and enabled / before it is removed; non-zero fails the switch.
  virtual int OnInstall() { return 0; }
  virtual int OnUnInstall() { return 0; }

private:
  int run();
  bool install(const std::string &strExecStart);
  bool start();
  bool stop();
  bool uninstall();
  bool fail(const std::string &strWhat);

  zt::platform::SystemdService &m_systemd;
  std::string m_strDisplayName;
  std::ostream &m_out;
  std::ostream &m_err;
};

// The unit text for the command line.
std::string serviceUnitText(const std::string &strExecStart);

} // namespace zt::proxy
