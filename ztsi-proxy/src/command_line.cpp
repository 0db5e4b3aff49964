#include "command_line.h"

#include <strings.h>

namespace zt::proxy {
namespace {

bool parseSwitch(const std::string &strArg, ServiceSwitch &eSwitch) {
  if (strArg == "--help" || strArg == "-h") {
    eSwitch = ServiceSwitch::Help;
    return true;
  }
  if (strArg.size() < 2 || (strArg[0] != '-' && strArg[0] != '/'))
    return false;
  static const struct {
    const char *pstrName;
    ServiceSwitch eSwitch;
  } kSwitches[] = {{"runasapp", ServiceSwitch::RunAsApp},   {"install", ServiceSwitch::Install},
                   {"installonly", ServiceSwitch::InstallOnly}, {"uninstall", ServiceSwitch::UnInstall},
                   {"stop", ServiceSwitch::Stop}};
  for (const auto &entry : kSwitches) {
    if (strcasecmp(strArg.c_str() + 1, entry.pstrName) == 0) {
      eSwitch = entry.eSwitch;
      return true;
    }
  }
  return false;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string> &vecArgs) {
  CommandLine commandLine;
  size_t i = 0;
  if (i < vecArgs.size() && vecArgs[i] != "--base-dir") {
    if (!parseSwitch(vecArgs[i], commandLine.eSwitch)) {
      commandLine.strError = "unknown argument: " + vecArgs[i];
      return commandLine;
    }
    ++i;
  }
  if (i < vecArgs.size() && vecArgs[i] == "--base-dir") {
    if (i + 1 >= vecArgs.size() || vecArgs[i + 1].empty()) {
      commandLine.strError = "--base-dir needs a directory";
      return commandLine;
    }
    commandLine.strBaseDir = vecArgs[i + 1];
    i += 2;
  }
  if (i < vecArgs.size())
    commandLine.strError = "unexpected argument: " + vecArgs[i];
  return commandLine;
}

const char *usageText() {
  return "usage: ztsi-proxy [SWITCH] [--base-dir DIR]\n"
         "\n"
         "Serves the devices of one site to another over one TCP link. Without a switch it runs\n"
         "as the service in the foreground (what systemd starts) until SIGTERM or SIGINT.\n"
         "\n"
         "Switches (also with \"/\", in any case):\n"
         "  -runasapp      run in the foreground as a console program until SIGTERM or SIGINT\n"
         "  -Install       write the systemd unit ZtsiProxyService.service, enable and start it\n"
         "  -InstallOnly   write and enable the unit without starting it\n"
         "  -UnInstall     stop the service if it runs, disable it and remove the unit\n"
         "  -Stop          stop the service\n"
         "  --help, -h     this text\n"
         "\n"
         "--base-dir DIR   the directory holding config/system.json, config/logger.json, log/ and\n"
         "                 the crash report ztsi-proxy.dmp; by default the executable's directory.\n"
         "                 An installed unit keeps the --base-dir it was installed with.\n";
}

} // namespace zt::proxy
