/* The public header compiles as C: the application SDK is used from C programs too. */
#include "ztsi.h"

_Static_assert(sizeof(DeviceInfo) == 304, "DeviceInfo is the 304-byte record");

ztsi_data_callback ztsiHeaderCheckCallback(ztsi_data_callback pCallback) { return pCallback; }
