#include "ztdm_log.h"

namespace zt::dm {

namespace {

const int g_nLogChannel = ztLogInit("ztdm");

} // namespace

int ztdmLogChannel() {
  return g_nLogChannel;
}

} // namespace zt::dm
