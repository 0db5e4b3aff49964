// ztdm-demo: a device driver with simulated controllers, card readers and face recognisers.
// With the first argument "t" it only serves requests until it is killed.
#include "demo_config.h"
#include "demo_driver.h"
#include "ztdm.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kRootRegistrationDelay = std::chrono::milliseconds(500);

void printModuleInfo(bool bAutoTest) {
  ZtModuleInfo info;
  ztdm_ModuleInfo(&info);
  std::printf("Modle Type: %s\n", info.szModuleType);
  std::printf("Modle Name: %s\n", info.szModuleName);
  std::printf("Modle Version: %s\n", info.szVersion);
  std::printf("Modle CompileTime: %s\n", info.szBuildTime);
  std::printf("Auto Test: %s\n", bAutoTest ? "true" : "false");
}

zt::demo::DemoConfig loadConfig() {
  zt::demo::DemoConfig config;
  if (std::FILE *pFile = std::fopen(zt::demo::kDemoConfigFile, "r")) {
    config = zt::demo::readDemoConfig(pFile);
    std::fclose(pFile);
  } else {
    config = zt::demo::askDemoConfig(std::cin);
  }
  std::printf("Broker address: %s:%d\n", config.strHost.c_str(), config.nPort);
  return config;
}

} // namespace

int main(int argc, char *argv[]) {
  // Lines reach a pipe as soon as they are complete.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const bool bAutoTest = argc > 1 && std::strcmp(argv[1], "t") == 0;

  std::printf("ZTDM test start\n");
  printModuleInfo(bAutoTest);
  const zt::demo::DemoConfig config = loadConfig();

  ZtdmHandle *pHandle = ztdm_Create(zt::demo::brokerAddress(config).c_str());
  if (pHandle == nullptr) {
    std::printf("Create ztdm failt!\n");
    return 0;
  }
  zt::demo::DemoDriver driver(pHandle, config, std::cin);
  driver.registerDriversAndTestCase();
  std::this_thread::sleep_for(kRootRegistrationDelay);
  driver.registerRootController();

  if (bAutoTest) {
    while (true) {
      pause();
    }
  }
  driver.runCommandLoop();
  driver.shutdown();
  ztdm_Destroy(pHandle);
  return 0;
}
