#include "ztsi_log.h"

namespace zt::si {

namespace {

// Initialised at load time, before any exported function can run.
const int g_nLogChannel = ztLogInit("ztsi");

} // namespace

int ztsiLogChannel() {
  return g_nLogChannel;
}

} // namespace zt::si
