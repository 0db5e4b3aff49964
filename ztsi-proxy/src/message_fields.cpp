#include "message_fields.h"

namespace zt::proxy {

bool readText(const Json::Value &body, const char *pstrName, std::string &strOut) {
  const Json::Value &member = body[pstrName];
  if (member.isNull()) {
    strOut.clear();
    return true;
  }
  if (!member.isString())
    return false;
  strOut = member.asString();
  return true;
}

bool readInt(const Json::Value &body, const char *pstrName, int &nOut) {
  const Json::Value &member = body[pstrName];
  if (member.isNull()) {
    nOut = 0;
    return true;
  }
  if (member.isBool() || !member.isInt())
    return false;
  nOut = member.asInt();
  return true;
}

bool readMessageFields(const Json::Value &head, const Json::Value &body, MessageFields &fields) {
  if (!head.isObject() || !body.isObject())
    return false;
  return readText(head, "seqId", fields.strSeqId) && readText(body, "devId", fields.strDevId) &&
         readInt(body, "sn", fields.nSn) && readText(body, "data", fields.strData) &&
         readInt(body, "code", fields.nCode);
}

} // namespace zt::proxy
