// Ends the process after a failure the library cannot continue from (out of memory in a
// queue or a callback thread), with the exit code its callers look for.
#pragma once

namespace zt::ip {

[[noreturn]] void fatalExit(int nExitCode, const char *pstrMessage);

} // namespace zt::ip
