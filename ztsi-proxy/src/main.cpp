// ztsi-proxy: see `ztsi-proxy --help`.
#include "command_line.h"
#include "crash_report.h"
#include "process_paths.h"
#include "ztsi_proxy_service.h"

#include <filesystem>
#include <iostream>

int main(int argc, char **argv) {
  using namespace zt::proxy;
  CommandLine commandLine = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!commandLine.strError.empty()) {
    std::cerr << "ztsi-proxy: " << commandLine.strError << "\n\n" << usageText();
    return 2;
  }
  std::string strExecStart = "\"" + zt::platform::executablePath() + "\"";
  if (commandLine.strBaseDir.empty()) {
    commandLine.strBaseDir = zt::platform::executableDirectory();
  } else {
    commandLine.strBaseDir = std::filesystem::absolute(commandLine.strBaseDir).lexically_normal().string();
    strExecStart += " --base-dir \"" + commandLine.strBaseDir + "\"";
  }
  zt::platform::installCrashReport(commandLine.strBaseDir + "/ztsi-proxy.dmp", "ztsi-proxy crash report");
  std::cout << "ztsi-proxy start..." << std::endl;
  zt::platform::SystemdService systemd("ZtsiProxyService");
  int nStatus = 0;
  {
    ZtsiProxyService service(commandLine.strBaseDir, systemd, std::cout, std::cerr);
    nStatus = service.Main(commandLine, strExecStart);
  }
  std::cout << "ztsi-proxy exit" << std::endl;
  return nStatus;
}
