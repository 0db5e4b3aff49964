#include "reports.h"

#include "demo_devices.h"
#include "sample_bodies.h"

#include <cstdio>

namespace zt::demo {
namespace {

// Asks ztdm to draw a fresh sequence number.
constexpr int kFreshSn = 0;

} // namespace

int sendReport(ZtdmHandle *pHandle, const DeviceInfo &device, ReportKind eKind) {
  const std::string strId = deviceId(device);
  std::optional<Json::Value> body;
  switch (eKind) {
  case ReportKind::Status:
    std::printf("===== report status %s\n", strId.c_str());
    body = statusBody(device);
    break;
  case ReportKind::Data:
    std::printf("===== report data of %s\n", strId.c_str());
    body = dataBody(device);
    break;
  case ReportKind::Event:
    std::printf("===== report event of %s\n", strId.c_str());
    body = eventBody(device);
    break;
  }
  if (!body) {
    return -1;
  }
  std::string strBody = styledText(*body);
  int nLen = static_cast<int>(strBody.size());
  switch (eKind) {
  case ReportKind::Status:
    return ztdm_ReportStatus(pHandle, strId.c_str(), kFreshSn, strBody.c_str(), nLen);
  case ReportKind::Data:
    return ztdm_ReportData(pHandle, strId.c_str(), kFreshSn, strBody.c_str(), nLen);
  case ReportKind::Event:
    return ztdm_ReportEvent(pHandle, strId.c_str(), kFreshSn, strBody.c_str(), nLen);
  }
  return -1;
}

} // namespace zt::demo
