#include "api/ztip_fatal_exit.h"

#include "log/ZTIPMyFileLog.h"

#include <cstdlib>

namespace zt::ip {

void fatalExit(int nExitCode, const char *pstrMessage) {
  ZTIPLog(kLogError, kAreaQueue, "%s", pstrMessage);
  // _Exit: the other library threads are still running, so static destructors must not run.
  std::_Exit(nExitCode);
}

} // namespace zt::ip
