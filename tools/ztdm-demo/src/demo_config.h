// Broker address, root controller and load-test interval of the demo driver.
#pragma once

#include <cstdio>
#include <istream>
#include <string>

namespace zt::demo {

constexpr int kDefaultBrokerPort = 1883;
constexpr int kDefaultReportIntervalMs = 5000;

struct DemoConfig {
  std::string strHost;
  int nPort = kDefaultBrokerPort;
  std::string strRootId;
  int nReportIntervalMs = kDefaultReportIntervalMs;
};

// The configuration file in the working directory.
constexpr const char *kDemoConfigFile = "ztdm_config.txt";

// Reads the lines of the configuration file: host, port (0 means 1883), root controller id,
// report interval (used when 1 or more); further lines are ignored.
DemoConfig readDemoConfig(std::FILE *pFile);

// Asks host, port and root controller id on the console.
DemoConfig askDemoConfig(std::istream &input);

// "host:port" as ztdm_Create takes it.
std::string brokerAddress(const DemoConfig &config);

} // namespace zt::demo
