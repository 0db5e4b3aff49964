#include "command_code.h"

namespace zt::protocol {

namespace {

// Names indexed by code; index 0 is unused.
const char *const kCommandNames[] = {"NULL",        "FindDevices", "SetParam",     "GetParam",
                                     "Ctrl",        "QryStatus",   "ReportStatus", "ReportData",
                                     "ReportEvent", "RegTestCase", "SetRunModel",  "QryRunModel"};
constexpr int kCommandCount = sizeof(kCommandNames) / sizeof(kCommandNames[0]);

} // namespace

int commandCodeOf(const std::string &strName) {
  for (int nCode = kCmdFindDevices; nCode < kCommandCount; ++nCode) {
    if (strName == kCommandNames[nCode]) {
      return nCode;
    }
  }
  return -1;
}

const char *commandNameOf(int nCode) {
  if (nCode < kCmdFindDevices || nCode >= kCommandCount) {
    return "NULL";
  }
  return kCommandNames[nCode];
}

} // namespace zt::protocol
