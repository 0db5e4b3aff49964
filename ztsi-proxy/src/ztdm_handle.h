// Server mode: beside the applications the proxy is a driver of ztdm on the local broker. Each
// device that a client-mode proxy registers over the link is registered here with this object
// as its driver; reports from the link are published as the device's reports; and a request
// from a local application is carried over the link and waits (15 s at most) for the answer,
// which becomes the driver's answer.
//
// Threads: init and release from the controlling thread; operate and clearClientId from
// ZTIP's threads; the driver entry points from ztdm's request threads. ztdm runs entry points
// of different devices at the same time (one device's requests stay in order), so one request
// waiting for its answer holds back no other device. Only one object of this class can be
// initialised at a time in a process: ztdm's entry points carry no user value.
#pragma once

#include "ack_table.h"
#include "global_data.h"
#include "link_sender.h"
#include "proxy_device.h"
#include "ztdm.h"

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace zt::proxy {

class ZtdmHandle {
public:
  ZtdmHandle(GlobalData &data, LinkSender &link, std::chrono::milliseconds ackTimeout = std::chrono::seconds(15));
  ~ZtdmHandle();
  ZtdmHandle(const ZtdmHandle &) = delete;
  ZtdmHandle &operator=(const ZtdmHandle &) = delete;

  // False when the ztdm instance could not be made (the bridge then stays inactive).
  bool init();
  void release();

  // A message from the link other than a heartbeat; false when it failed or was dropped.
  bool operate(int nCmd, const Json::Value &head, const Json::Value &body);
  // The client connection strSocketId closed: its devices lose their client, and requests
  // waiting for its answers fail now.
  void clearClientId(const std::string &strSocketId);
  // The device's client socket id; empty when the device is unknown or its client has gone.
  std::string getClientId(const std::string &strDevId) const;

  // Driver entry points (ztdm's DriverCallbacks shapes).
  int ztdmDrvSetConfig(const DeviceInfo *pDevice, const char *pData, int nLen, int nSn);
  int ztdmDrvGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn);
  int ztdmDrvDevCtrl(const DeviceInfo *pDevice, const char *pData, int nLen, char *pOut, int *pnOutLen, int nSn);
  int ztdmDrvGetStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn);

private:
  struct RequestKind;
  int registerDevice(const std::string &strSeqId, const Json::Value &body);
  int proxyRequest(const RequestKind &kind, const DeviceInfo *pDevice, const Json::Value &data, char *pOut,
                   int *pnOutLen, int nSn);
  void recvAckData(const std::string &strAckId, const AckTable::Reply &reply);

  GlobalData &m_data;
  LinkSender &m_link;
  const std::chrono::milliseconds m_ackTimeout;
  ::ZtdmHandle *m_pZtdmHandle = nullptr;
  mutable std::recursive_mutex m_mutex; // the device map
  std::map<std::string, ProxyDevice> m_devices;
  AckTable m_acks;
};

} // namespace zt::proxy
