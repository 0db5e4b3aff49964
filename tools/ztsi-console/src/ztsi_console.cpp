#include "ztsi_console.h"

#include "command_line.h"
#include "console_callbacks.h"
#include "ctrl_request.h"
#include "line_input.h"
#include "zt_common.h"

namespace zt::console {
namespace {

constexpr size_t kMaxLineChars = 255;
constexpr int kCtrlSn = 100;
constexpr int kRunModelSn = 2;
constexpr int kFreshSn = 0;
constexpr int kRunModelNormal = 0;
constexpr int kRunModelDebug = 1;

void printPrompt() {
  std::fputs("ZTSI [device_id cmd]>>", stdout);
  std::fflush(stdout);
}

} // namespace

void ZtsiConsole::run() {
  printPrompt();
  while (std::optional<std::string> line = readLine(m_pInput, kMaxLineChars)) {
    CommandLine command = parseCommandLine(*line);
    if (!command.strError.empty()) {
      std::fputs(command.strError.c_str(), stdout);
    } else if (!runCommand(command.strDevId, command.strCommand)) {
      return;
    }
    printPrompt();
  }
}

bool ZtsiConsole::runCommand(const std::string &strDevId, const std::string &strCommand) {
  const char *pstrDevId = strDevId.c_str();
  if (strCommand == "quit" || strCommand == "exit" || strCommand == "q") {
    return false;
  }
  if (strCommand == "help" || strCommand == "h") {
    std::printf("\n");
  } else if (strCommand == "ctrl") {
    sendCtrl(strDevId);
  } else if (strCommand == "find") {
    int nRet = ztsi_FindDevices(m_pHandle, "0", kFreshSn, onFoundDevice);
    std::printf("ztsi_FindDevices ret=%d\n", nRet);
  } else if (strCommand == "getTest") {
    int nLen = 0;
    const char *pstrTestCase = ztsi_GetTestCase(m_pHandle, &nLen);
    std::printf("getTestCase  %d data: \n%s", nLen, pstrTestCase != nullptr ? pstrTestCase : "");
  } else if (strCommand == "debug") {
    ztsi_SetRunModel(m_pHandle, pstrDevId, kFreshSn, kRunModelDebug, onRunModelAnswer);
    std::printf("SetRunModel");
  } else if (strCommand == "exitdebug") {
    ztsi_SetRunModel(m_pHandle, pstrDevId, kRunModelSn, kRunModelNormal, onRunModelAnswer);
    std::printf("SetRunModel");
  } else if (strCommand == "qrymodel") {
    ztsi_GetRunModel(m_pHandle, pstrDevId, kRunModelSn, onRunModelAnswer);
    std::printf("SetRunModel");
  }
  return true;
}

void ZtsiConsole::sendCtrl(const std::string &strDevId) {
  std::string strBody = ctrlRequestBody(strDevId, zt::tickMs());
  // The text goes out with its terminating zero byte.
  int nRet = ztsi_Ctrl(m_pHandle, strDevId.c_str(), kCtrlSn, strBody.c_str(),
                       static_cast<int>(strBody.size() + 1), onCtrlAnswer);
  std::printf("ztsi_Ctrl ret=%d\n", nRet);
}

} // namespace zt::console
