// The fixed command table of the device access protocol: a name in the topic, a code in TYPE.
#pragma once

#include <string>

namespace zt::protocol {

enum CommandCode : int {
  kCmdFindDevices = 1,
  kCmdSetParam = 2,
  kCmdGetParam = 3,
  kCmdCtrl = 4,
  kCmdQryStatus = 5,
  kCmdReportStatus = 6,
  kCmdReportData = 7,
  kCmdReportEvent = 8,
  kCmdRegTestCase = 9,
  kCmdSetRunModel = 10,
  kCmdQryRunModel = 11,
};

// The code of a command name; -1 for a name that is not in the table.
int commandCodeOf(const std::string &strName);

// The name of a command code; "NULL" for a code that is not in the table.
const char *commandNameOf(int nCode);

// SetRunModel and QryRunModel travel on the DEV-TEST channel in either run model.
inline bool isRunModelCommand(int nCode) {
  return nCode == kCmdSetRunModel || nCode == kCmdQryRunModel;
}

} // namespace zt::protocol
