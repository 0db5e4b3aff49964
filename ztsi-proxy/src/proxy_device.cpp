#include "proxy_device.h"

#include "message_fields.h"

namespace zt::proxy {

Json::Value deviceBody(const ProxyDevice &device) {
  Json::Value body(Json::objectValue);
  body["id"] = device.strId;
  body["type"] = device.nType;
  body["vdt"] = device.nVdt;
  body["name"] = device.strName;
  body["pid"] = device.strPid;
  body["desc"] = device.strDesc;
  body["model"] = device.strModel;
  body["clientId"] = device.strClientId;
  return body;
}

bool readDeviceBody(const Json::Value &body, ProxyDevice &device) {
  return body.isObject() && readText(body, "id", device.strId) && readInt(body, "type", device.nType) &&
         readInt(body, "vdt", device.nVdt) && readText(body, "name", device.strName) &&
         readText(body, "pid", device.strPid) && readText(body, "desc", device.strDesc) &&
         readText(body, "model", device.strModel) && readText(body, "clientId", device.strClientId);
}

} // namespace zt::proxy
