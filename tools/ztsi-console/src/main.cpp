// ztsi-console: an application that finds devices, sends them requests and prints every
// report and answer. With the first argument "t" it only prints until it is killed.
#include "console_callbacks.h"
#include "console_config.h"
#include "ztsi.h"
#include "ztsi_console.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kDiscoveryDelay = std::chrono::milliseconds(1000);
constexpr int kConsoleRunModel = 1;

std::string loadBrokerAddress() {
  if (std::FILE *pFile = std::fopen(zt::console::kConsoleConfigFile, "r")) {
    std::string strAddress = zt::console::readBrokerAddress(pFile);
    std::fclose(pFile);
    return strAddress;
  }
  return zt::console::askBrokerAddress(stdin);
}

} // namespace

int main(int argc, char *argv[]) {
  // Lines reach a pipe as soon as they are complete.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const bool bAutoTest = argc > 1 && std::strcmp(argv[1], "t") == 0;

  std::printf("ZTSI test start\n");
  const std::string strAddress = loadBrokerAddress();
  ZtModuleInfo info;
  ztsi_ModuleInfo(&info);
  std::printf("Name: %s \nVersion: %s\n Type: %s\nComile: %s\n", info.szModuleName, info.szVersion,
              info.szModuleType, info.szBuildTime);

  ZtsiHandle *pHandle =
      ztsi_CreateEx(strAddress.c_str(), zt::console::onFoundDevice, nullptr, kConsoleRunModel);
  std::printf("broker_ip:%s, init:%s\n", strAddress.c_str(), pHandle != nullptr ? "Success" : "Failt");
  if (pHandle == nullptr) {
    std::printf("Can not create ztsi!");
    return 1;
  }
  ztsi_SetDataCallback(pHandle, zt::console::onDataReport);
  ztsi_SetEventCallback(pHandle, zt::console::onEventReport);
  ztsi_SetStatusCallback(pHandle, zt::console::onStatusReport);
  std::this_thread::sleep_for(kDiscoveryDelay);
  ztsi_FindDevices(pHandle, "0", 0, zt::console::onFoundDevice);

  if (bAutoTest) {
    while (true) {
      pause();
    }
  }
  zt::console::ZtsiConsole(pHandle, stdin).run();
  ztsi_Destory(pHandle);
  std::printf("ZTSI test stop\n");
  return 0;
}
