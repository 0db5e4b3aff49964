// A last report when the process crashes: the signal and a backtrace in a file, after which
// the process ends as it would have without the handler.
#pragma once

#include <string>

namespace zt::platform {

// Installs the report for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT where no handler is set
// yet, so the handlers of a sanitizer or of the application stay in place. The first install
// that takes at least one signal fixes the file (path up to 4095 bytes) and the title line;
// later installs only add the signals still free.
void installCrashReport(const std::string &strFilePath, const std::string &strTitle);

} // namespace zt::platform
