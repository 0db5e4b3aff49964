/* A driver built outside the source tree against the installed SDK, found through pkg-config:
 * registers one device whose GetParam answers with PROBE_ANSWER, then serves until SIGTERM or
 * SIGINT.  Usage: probe_driver BROKER DEVICE_ID */
#include <ztdm.h>

#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>

#define PROBE_VDT 7
#define PROBE_ANSWER "{\"probe\":\"installed-sdk\"}"

static int getConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  const int nLen = (int)strlen(PROBE_ANSWER);
  (void)pDevice;
  (void)nSn;
  if (*pnOutLen < nLen) {
    return -1;
  }
  memcpy(pOut, PROBE_ANSWER, (size_t)nLen);
  *pnOutLen = nLen;
  return 0;
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s BROKER DEVICE_ID\n", argv[0]);
    return 2;
  }
  /* Blocked before the SDK starts its threads, so that only sigwait below takes them. */
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, NULL);

  ZtdmHandle *pHandle = ztdm_Create(argv[1]);
  if (pHandle == NULL) {
    fprintf(stderr, "ztdm_Create(%s) failed\n", argv[1]);
    return 1;
  }
  DriverCallbacks callbacks;
  memset(&callbacks, 0, sizeof callbacks);
  callbacks.GetConfig = getConfig;
  DeviceInfo device;
  memset(&device, 0, sizeof device);
  snprintf(device.id, sizeof device.id, "%s", argv[2]);
  snprintf(device.name, sizeof device.name, "installed SDK probe");
  snprintf(device.pid, sizeof device.pid, "0");
  device.vdt = PROBE_VDT;
  int nResult = ztdm_RegisterDriver(pHandle, PROBE_VDT, &callbacks);
  if (nResult == 0) {
    nResult = ztdm_RegisterDevice(pHandle, &device);
  }
  if (nResult != 0) {
    fprintf(stderr, "registering the probe device failed: %d\n", nResult);
    ztdm_Destroy(pHandle);
    return 1;
  }
  printf("registered %s\n", device.id);
  fflush(stdout);

  int nSignal = 0;
  sigwait(&stopSignals, &nSignal);
  ztdm_Destroy(pHandle);
  printf("stopped\n");
  return 0;
}
