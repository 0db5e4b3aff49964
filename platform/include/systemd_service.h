// A program's systemd unit: writing and removing the unit file and the systemctl calls that
// install, start, stop and remove it. The places it touches are settings, so that tests run it
// against a folder of their own and a stand-in for systemctl.
#pragma once

#include <string>
#include <vector>

namespace zt::platform {

struct SystemdSettings {
  std::string strUnitDirectory = "/etc/systemd/system";
  std::string strSystemctl = "systemctl";
  // Exists only while systemd runs as the system manager (what sd_booted() checks).
  std::string strRuntimeDirectory = "/run/systemd/system";
};

class SystemdService {
public:
  // strName without ".service".
  explicit SystemdService(std::string strName, SystemdSettings settings = SystemdSettings());

  const std::string &name() const { return m_strName; }
  std::string unitPath() const;

  bool systemdRunning() const;
  bool unitInstalled() const;
  bool writeUnit(const std::string &strText) const;
  bool removeUnit() const;

  // Runs "systemctl ARGS..." with the unit name appended where bWithUnit; true on exit status 0.
  // The command's own output goes to this process's standard output and error.
  bool systemctl(const std::vector<std::string> &vecArgs, bool bWithUnit = true) const;
  // "systemctl is-active --quiet": true while the unit runs.
  bool active() const;

private:
  std::string m_strName;
  SystemdSettings m_settings;
};

} // namespace zt::platform
