#include "console_config.h"

#include "line_input.h"

#include <cstdlib>

namespace zt::console {
namespace {

constexpr size_t kMaxHostChars = 255;
constexpr size_t kMaxPortChars = 9;

std::string ask(std::FILE *pInput, const char *pstrPrompt, size_t nMaxChars) {
  std::fputs(pstrPrompt, stdout);
  std::fflush(stdout);
  return readLine(pInput, nMaxChars).value_or("");
}

} // namespace

std::string brokerAddress(const std::string &strHost, const std::string &strPort) {
  int nPort = std::atoi(strPort.c_str());
  if (nPort < 1) {
    nPort = kDefaultBrokerPort;
  }
  return strHost + ":" + std::to_string(nPort);
}

std::string readBrokerAddress(std::FILE *pFile) {
  std::string strHost = readLine(pFile, kMaxHostChars).value_or("");
  std::string strPort = readLine(pFile, kMaxPortChars).value_or("");
  return brokerAddress(strHost, strPort);
}

std::string askBrokerAddress(std::FILE *pInput) {
  std::string strHost = ask(pInput, "please input Broker ip: (127.0.0.1)\n", kMaxHostChars);
  std::string strPort = ask(pInput, "please input Broker port: (1883)\n", kMaxPortChars);
  return brokerAddress(strHost, strPort);
}

} // namespace zt::console
