// The program's command line: [switch] [--base-dir DIR], or --help.
#pragma once

#include <string>
#include <vector>

namespace zt::proxy {

enum class ServiceSwitch { Run, RunAsApp, Install, InstallOnly, UnInstall, Stop, Help };

struct CommandLine {
  ServiceSwitch eSwitch = ServiceSwitch::Run;
  std::string strBaseDir; // empty: the executable's directory
  std::string strError;   // set when the arguments make no sense
};

// Switches take "-" or "/" and ignore case (-runasapp, /RUNASAPP); --base-dir comes after the
// switch or alone.
CommandLine parseCommandLine(const std::vector<std::string> &vecArgs);

const char *usageText();

} // namespace zt::proxy
