#include "demo_config.h"

#include "console_text.h"

#include <cstdlib>
#include <cstring>

namespace zt::demo {
namespace {

constexpr int kLineSize = 256;
constexpr int kIgnoredLines = 4;

// One line of at most 255 characters without its line end; empty at the end of the file.
std::string readLine(std::FILE *pFile) {
  char szLine[kLineSize] = {0};
  if (std::fgets(szLine, sizeof(szLine), pFile) == nullptr) {
    return "";
  }
  szLine[std::strcspn(szLine, "\r\n")] = '\0';
  return szLine;
}

int portOf(const std::string &strPort) {
  int nPort = std::atoi(strPort.c_str());
  return nPort == 0 ? kDefaultBrokerPort : nPort;
}

} // namespace

DemoConfig readDemoConfig(std::FILE *pFile) {
  DemoConfig config;
  config.strHost = readLine(pFile);
  config.nPort = portOf(readLine(pFile));
  config.strRootId = readLine(pFile);
  int nInterval = std::atoi(readLine(pFile).c_str());
  if (nInterval >= 1) {
    config.nReportIntervalMs = nInterval;
  }
  for (int i = 0; i < kIgnoredLines; ++i) {
    readLine(pFile);
  }
  return config;
}

DemoConfig askDemoConfig(std::istream &input) {
  DemoConfig config;
  config.strHost = askLine(input, "please input Broker address : (127.0.0.1)\n");
  config.nPort = portOf(askLine(input, "please input Broker port: (1883)\n"));
  config.strRootId = askLine(input, "please input Root controler id: (controlId)\n");
  return config;
}

std::string brokerAddress(const DemoConfig &config) {
  return config.strHost + ":" + std::to_string(config.nPort);
}

} // namespace zt::demo
