#include "demo_driver.h"

#include "console_text.h"
#include "driver_tables.h"
#include "reports.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zt::demo {
namespace {

constexpr int kTestCaseVdt = 1;
constexpr const char *kDefaultTestCase = "[{},{}]";
constexpr const char *kGateTestCase =
    "{\"desc\" : \"道闸控制\",\"VDT\" : \"VDT_GATE\",\"method\" : \"direct\"}";
constexpr size_t kMaxDeviceIdLength = 32;
constexpr size_t kMaxDeviceNameLength = 63;
constexpr long kMaxDeviceType = 999;
constexpr int kAutoUpValueCount = 5;

void printHelp() {
  std::printf("reg:\tfor register dev to ztsi\n");
  std::printf("upStatus:\tfor up dev status  to ztsi\n");
  std::printf("updata:\tfor up dev data  to ztsi\n");
  std::printf("event:\tfor up dev event  to ztsi\n");
  std::printf("test:\ttest ztdm command\n");
  std::printf("test_ability: auto test ztdm upload status\n");
  std::printf("test_auto: auto test ztdm upload status with VDT\n");
}

bool startsWithDigit(const std::string &strWord) {
  return !strWord.empty() && std::isdigit(static_cast<unsigned char>(strWord[0]));
}

} // namespace

DemoDriver::DemoDriver(ZtdmHandle *pHandle, const DemoConfig &config, std::istream &input)
    : m_pHandle(pHandle), m_config(config), m_input(input) {}

void DemoDriver::registerDriversAndTestCase() {
  const DriverCallbacks controller = controllerDriver();
  const DriverCallbacks cardReader = cardReaderDriver();
  const DriverCallbacks faceRecognizer = faceRecognizerDriver();
  ztdm_RegisterDriver(m_pHandle, kControllerVdt, &controller);
  ztdm_RegisterDriver(m_pHandle, kCardReaderVdt, &cardReader);
  ztdm_RegisterDriver(m_pHandle, kFaceRecognizerVdt, &faceRecognizer);
  ztdm_regTestCase(m_pHandle, kTestCaseVdt, kDefaultTestCase,
                   static_cast<int>(std::strlen(kDefaultTestCase)));
}

void DemoDriver::registerRootController() {
  const DeviceInfo root = makeRootController(m_config.strRootId);
  ztdm_RegisterDevice(m_pHandle, &root);
}

void DemoDriver::runCommandLoop() {
  while (true) {
    std::string strLine = askLine(m_input, "ZTDM>>");
    if (!m_input) {
      return;
    }
    if (!runCommand(splitWords(strLine))) {
      return;
    }
  }
}

void DemoDriver::shutdown() {
  m_reportThreads.stopAll();
  m_vecDevices.clear();
}

bool DemoDriver::runCommand(const std::vector<std::string> &vecWords) {
  const std::string &strCommand = vecWords[0];
  if (strCommand == "quit" || strCommand == "q" || strCommand == "exit") {
    return false;
  }
  if (strCommand == "help" || strCommand == "h") {
    printHelp();
  } else if (strCommand == "reg") {
    registerCommand(vecWords);
  } else if (strCommand == "upStatus") {
    reportCommand(vecWords, ReportKind::Status);
  } else if (strCommand == "updata") {
    reportCommand(vecWords, ReportKind::Data);
  } else if (strCommand == "event") {
    reportCommand(vecWords, ReportKind::Event);
  } else if (strCommand == "test") {
    testCommand();
  } else if (strCommand == "test_auto") {
    testAutoCommand();
  } else if (strCommand == "autoup") {
    autoUpCommand();
  } else if (strCommand == "regTest") {
    regTestCommand();
  }
  return true;
}

void DemoDriver::registerCommand(const std::vector<std::string> &vecWords) {
  if (vecWords.size() < 4) {
    std::printf("Format: reg [device id] [driver type] [device name] \n");
    return;
  }
  const std::string &strId = vecWords[1];
  const std::string &strType = vecWords[2];
  const std::string &strName = vecWords[3];
  if (strId.size() > kMaxDeviceIdLength) {
    std::printf("device Id is too long!\n");
    return;
  }
  if (!startsWithDigit(strType)) {
    std::printf("device type is incorect!\n");
    return;
  }
  if (strName.size() > kMaxDeviceNameLength) {
    std::printf("device name is too long!\n");
    return;
  }
  long nType = std::strtol(strType.c_str(), nullptr, 10);
  if (nType > kMaxDeviceType) {
    return;
  }
  std::shared_ptr<DeviceInfo> pDevice =
      makeDevice(strId, static_cast<int>(nType), strName, m_config.strRootId);
  registerDevice(*pDevice);
  m_vecDevices.erase(std::remove_if(m_vecDevices.begin(), m_vecDevices.end(),
                                    [&strId](const auto &pListed) { return deviceId(*pListed) == strId; }),
                     m_vecDevices.end());
  m_vecDevices.push_back(pDevice);
}

void DemoDriver::reportCommand(const std::vector<std::string> &vecWords, ReportKind eKind) {
  if (vecWords.size() < 2) {
    const char *pstrCommand = eKind == ReportKind::Status ? "upStatus"
                              : eKind == ReportKind::Data ? "updata"
                                                          : "event";
    std::printf("Format: %s [device id] \n", pstrCommand);
    return;
  }
  const std::string &strId = vecWords[1];
  std::printf("%s %d\n", strId.c_str(), static_cast<int>(m_vecDevices.size()));
  auto it = std::find_if(m_vecDevices.begin(), m_vecDevices.end(),
                         [&strId](const auto &pListed) { return deviceId(*pListed) == strId; });
  if (it == m_vecDevices.end()) {
    std::printf("Can not find device %s!!\n", strId.c_str());
    return;
  }
  sendReport(m_pHandle, **it, eKind);
}

void DemoDriver::testCommand() {
  createTestDevices(kAllVdt, 1);
  for (const auto &pDevice : m_vecDevices) {
    sendReport(m_pHandle, *pDevice, ReportKind::Status);
    sendReport(m_pHandle, *pDevice, ReportKind::Data);
    sendReport(m_pHandle, *pDevice, ReportKind::Event);
  }
}

void DemoDriver::testAutoCommand() {
  int nVdt = answerNumber(askLine(m_input, "Please input VDT( -1 for all vdt): "));
  int nCount = answerNumber(askLine(m_input, "Please input device count: "));
  if (nCount < 1) {
    return;
  }
  int nThreads = answerNumber(askLine(m_input, "Thread count: "));
  if (nThreads < 1) {
    return;
  }
  int nCycles = answerNumber(askLine(m_input, "Thread send msg count( -1: not end): "));
  if (nCycles < 1 && nCycles != kEndlessCycles) {
    return;
  }
  createTestDevices(nVdt, nCount);
  m_reportThreads.joinEarlierRuns();
  m_reportThreads.start(m_pHandle, m_vecDevices, m_config.nReportIntervalMs, nThreads, nCycles);
}

void DemoDriver::autoUpCommand() {
  std::string strLine = askLine(m_input, "please input: devCnt vdt thdCnt sleep upCnt>>");
  int nCount = 0;
  int nVdt = 0;
  int nThreads = 0;
  int nIntervalMs = 0;
  int nCycles = 0;
  if (std::sscanf(strLine.c_str(), "%d %d %d %d %d", &nCount, &nVdt, &nThreads, &nIntervalMs, &nCycles) !=
      kAutoUpValueCount) {
    return;
  }
  if (nCount <= 0 || nVdt < 0 || nThreads <= 0 || nIntervalMs < 0 || nCycles < 0) {
    return;
  }
  std::printf("thrdMsgCount: %d\n", nCycles);
  createTestDevices(nVdt, nCount);
  m_reportThreads.start(m_pHandle, m_vecDevices, nIntervalMs, nThreads, nCycles);
}

void DemoDriver::regTestCommand() {
  int nVdt = answerNumber(askLine(m_input, "Please input VDT: "));
  ztdm_regTestCase(m_pHandle, nVdt, kGateTestCase, static_cast<int>(std::strlen(kGateTestCase)));
}

void DemoDriver::createTestDevices(int nVdt, int nCount) {
  m_vecDevices = buildTestDevices(nVdt, nCount, m_config.strRootId);
  for (const auto &pDevice : m_vecDevices) {
    registerDevice(*pDevice);
  }
}

void DemoDriver::registerDevice(const DeviceInfo &device) {
  ztdm_RegisterDevice(m_pHandle, &device);
}

} // namespace zt::demo
