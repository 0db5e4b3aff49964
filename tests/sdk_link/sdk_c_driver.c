/* A driver as its author builds it: ztdm.h alone, the README's include paths, -lztdm. */
#include "ztdm.h"

#include <stdio.h>
#include <string.h>

_Static_assert(sizeof(DeviceInfo) == ZT_DEVICE_INFO_SIZE, "DeviceInfo is the 304-byte record");

int main(void) {
  ZtModuleInfo info;
  if (ztdm_ModuleInfo(&info) != 0 || strcmp(info.szModuleName, "ZTDM") != 0) {
    fprintf(stderr, "libztdm.so did not describe itself as ZTDM\n");
    return 1;
  }
  return 0;
}
