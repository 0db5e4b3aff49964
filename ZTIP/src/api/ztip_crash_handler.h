// A last report when the process crashes: the signal and a backtrace in "ztipdump.dmp" in
// the working directory, after which the process ends as it would have without the handler.
#pragma once

namespace zt::ip {

// Installs the handler for the fatal signals that have no handler yet, so the handlers of
// a sanitizer or of the application stay in place.
void installCrashHandler();

} // namespace zt::ip
