/* Compiles the public record header as C11, so its layout checks run under a C compiler too. */
#include "zt_device_info.h"

size_t deviceInfoSizeSeenByC(void) {
  return sizeof(DeviceInfo);
}
size_t deviceInfoModelOffsetSeenByC(void) {
  return offsetof(DeviceInfo, model);
}
