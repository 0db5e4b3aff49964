/* An application as its author builds it: ztsi.h alone, the README's include paths, -lztsi. */
#include "ztsi.h"

#include <stdio.h>
#include <string.h>

_Static_assert(sizeof(DeviceInfo) == ZT_DEVICE_INFO_SIZE, "DeviceInfo is the 304-byte record");

int main(void) {
  ZtModuleInfo info;
  if (ztsi_ModuleInfo(&info) != 0 || strcmp(info.szModuleName, "ZTSI") != 0) {
    fprintf(stderr, "libztsi.so did not describe itself as ZTSI\n");
    return 1;
  }
  return 0;
}
