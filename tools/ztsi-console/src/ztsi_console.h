// The console's command loop: "<device id> <command>" lines typed after the prompt
// "ZTSI [device_id cmd]>>" become ztsi requests.
#pragma once

#include "ztsi.h"

#include <cstdio>
#include <string>

namespace zt::console {

class ZtsiConsole {
public:
  ZtsiConsole(ZtsiHandle *pHandle, std::FILE *pInput) : m_pHandle(pHandle), m_pInput(pInput) {}

  // Reads command lines until quit or the end of input.
  void run();

private:
  // False when the command asks to quit.
  bool runCommand(const std::string &strDevId, const std::string &strCommand);
  void sendCtrl(const std::string &strDevId);

  ZtsiHandle *m_pHandle;
  std::FILE *m_pInput;
};

} // namespace zt::console
