#include "ztdm_log.h"

namespace zt {

namespace {

const int g_nLogChannel = ztLogInit("ztdm");

} // namespace

int ztdmLogChannel() {
  return g_nLogChannel;
}

} // namespace zt
