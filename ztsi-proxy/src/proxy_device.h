// A device served across the link, as both bridges keep it.
#pragma once

#include <json/json.h>

#include <string>

namespace zt::proxy {

enum RegisterStatus { kNotRegistered = 1, kRegistered = 2 };

struct ProxyDevice {
  std::string strId;
  int nType = 0;
  int nVdt = 0;
  std::string strName;
  std::string strPid;
  std::string strDesc;
  std::string strModel;
  std::string strClientId; // the link's socket id the device came through
  std::string strSeqId;
  int nRegisterStatus = kNotRegistered;
};

// The members of a register-device body: id, type, vdt, name, pid, desc, model, clientId.
Json::Value deviceBody(const ProxyDevice &device);
// False when a member has the wrong type.
bool readDeviceBody(const Json::Value &body, ProxyDevice &device);

} // namespace zt::proxy
