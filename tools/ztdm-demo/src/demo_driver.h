// The demo driver's console: registers its drivers, test case and root controller on a ztdm
// instance and runs the commands typed after the prompt "ZTDM>>".
#pragma once

#include "demo_config.h"
#include "demo_devices.h"
#include "report_threads.h"
#include "reports.h"
#include "ztdm.h"

#include <istream>
#include <string>
#include <vector>

namespace zt::demo {

class DemoDriver {
public:
  DemoDriver(ZtdmHandle *pHandle, const DemoConfig &config, std::istream &input);

  // The three driver tables (vdt 0, 14, 16) and the test case of vdt 1.
  void registerDriversAndTestCase();
  void registerRootController();

  // Reads commands until quit or the end of input.
  void runCommandLoop();

  // Stops and joins the report threads and frees the device list.
  void shutdown();

private:
  // False when the command asks to quit.
  bool runCommand(const std::vector<std::string> &vecWords);

  void registerCommand(const std::vector<std::string> &vecWords);
  void reportCommand(const std::vector<std::string> &vecWords, ReportKind eKind);
  void testCommand();
  void testAutoCommand();
  void autoUpCommand();
  void regTestCommand();

  // Frees the device list and registers new test devices into it.
  void createTestDevices(int nVdt, int nCount);
  void registerDevice(const DeviceInfo &device);

  ZtdmHandle *m_pHandle;
  DemoConfig m_config;
  std::istream &m_input;
  DeviceList m_vecDevices;
  ReportThreads m_reportThreads;
};

} // namespace zt::demo
