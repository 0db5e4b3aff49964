// Sends a device's sample status, data or event report through ztdm.
#pragma once

#include "ztdm.h"

namespace zt::demo {

enum class ReportKind { Status, Data, Event };

// Prints the report line and publishes the sample body with a fresh sn; a kind without sample
// for the device's vdt is not sent. The result is ztdm's, or -1 when nothing was sent.
int sendReport(ZtdmHandle *pHandle, const DeviceInfo &device, ReportKind eKind);

} // namespace zt::demo
