/* Compiled as C: the public header is plain C, and every function links from libztdm.so. */
#include "ztdm.h"

#include <stddef.h>
#include <string.h>

/* Calls every exported function with arguments each one refuses; returns how many refused. */
int ztdmRefusalsSeenByC(void) {
  DeviceInfo device;
  DriverCallbacks callbacks = {NULL, NULL, NULL, NULL};
  int nRefused = 0;
  memset(&device, 0, sizeof device);
  ztdm_Destroy(NULL);
  nRefused += ztdm_Create(NULL) == NULL;
  nRefused += ztdm_ModuleInfo(NULL) == -1;
  nRefused += ztdm_RegisterDriver(NULL, 1, &callbacks) == -1;
  nRefused += ztdm_RegisterDevice(NULL, &device) == -1;
  nRefused += ztdm_ReportStatus(NULL, "D1", 0, "x", 1) == -1;
  nRefused += ztdm_ReportData(NULL, "D1", 0, "x", 1) == -1;
  nRefused += ztdm_ReportEvent(NULL, "D1", 0, "x", 1) == -1;
  nRefused += ztdm_regTestCase(NULL, 1, "{}", 2) == -1;
  return nRefused;
}
