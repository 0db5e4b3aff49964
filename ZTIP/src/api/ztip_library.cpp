#include "api/ztip_library.h"

namespace zt::ip {
namespace {
ZtipTimings g_timings;
} // namespace

ZtipLibrary &library() {
  static ZtipLibrary s_library;
  return s_library;
}

const ZtipTimings &timings() {
  return g_timings;
}

void setTimings(const ZtipTimings &values) {
  g_timings = values;
}

void setRecvTimeoutMs(uint64_t uMs) {
  library().uRecvTimeoutMs = uMs;
}

} // namespace zt::ip
