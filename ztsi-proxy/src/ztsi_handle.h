// Client mode: beside the real devices the proxy is an application of ztsi on the local
// broker. It registers every found device of a listed vdt with the server-mode proxy, carries
// out the requests that come over the link, and sends back their answers and every report.
//
// Threads: init and release from the controlling thread; operate, findDevice and the
// registration functions from ZTIP's threads; the ztsi callbacks on ztsi's threads. The
// device map has its own lock; no lock is held while ztsi is called.
#pragma once

#include "global_data.h"
#include "link_sender.h"
#include "proxy_device.h"
#include "ztsi.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace zt::proxy {

class ZtsiHandle {
public:
  ZtsiHandle(GlobalData &data, LinkSender &link);
  ~ZtsiHandle();
  ZtsiHandle(const ZtsiHandle &) = delete;
  ZtsiHandle &operator=(const ZtsiHandle &) = delete;

  // False when the ztsi instance could not be made (the bridge then stays inactive).
  bool init();
  void release();

  // A message from the link other than a heartbeat; false when it was not carried out.
  bool operate(int nCmd, const Json::Value &head, const Json::Value &body);
  // Forgets the device map and asks ztsi for every known device again.
  void findDevice();
  // Sends the registration of every device not yet confirmed.
  void checkDeviceRegisterStatus();
  // The link went down: the server forgets this link's devices, so every one of them must
  // be registered again when it is back.
  void markAllUnregistered();
  bool noDevices() const;
  std::optional<ProxyDevice> device(const std::string &strId) const;

private:
  bool isProxyDevice(const std::string &strId) const;
  bool listedVdt(int nVdt) const;
  void registerDevice(const ProxyDevice &device);
  int registerDeviceResult(const Json::Value &body);
  void answer(int nAnswerCmd, const char *pstrDevId, int nSn, const char *pData, int nLen);
  void report(int nReportCmd, const char *pstrDevId, int nSn, const char *pData, int nLen);

  void ztsiFindDevicesHandler(const char *pstrDevId, int nSn, const DeviceInfo *pInfo);

  static void _ztsiFindDevicesHandler(const char *pstrDevId, int nSn, const DeviceInfo *pInfo, void *pUser);
  static void _ztsiSetParamCallback(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);
  static void _ztsiGetParamCallback(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);
  static void _ztsiCtrlCallback(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);
  static void _ztsiQryStatusCallback(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);
  static void _ztsiDataCallback(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);
  static void _ztsiStatusCallback(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);
  static void _ztsiEventCallback(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUser);

  GlobalData &m_data;
  LinkSender &m_link;
  ::ZtsiHandle *m_pZtsiHandle = nullptr;
  mutable std::recursive_mutex m_mutex;
  std::map<std::string, ProxyDevice> m_devices;
  std::atomic<int> m_nRegisterCounter{0};
};

} // namespace zt::proxy
