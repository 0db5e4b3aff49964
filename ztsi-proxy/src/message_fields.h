// Reading the members of a received body. A missing or null member reads as 0 or the empty
// text; a member of another type (a text sn, an object data) makes the whole message invalid,
// so that it is logged and dropped instead of guessed at.
#pragma once

#include <json/json.h>

#include <string>

namespace zt::proxy {

bool readText(const Json::Value &body, const char *pstrName, std::string &strOut);
bool readInt(const Json::Value &body, const char *pstrName, int &nOut);

// The members most messages carry: head.seqId and body devId, sn, data and code.
struct MessageFields {
  std::string strSeqId;
  std::string strDevId;
  int nSn = 0;
  std::string strData;
  int nCode = 0;
};

// False when the body is not an object or one of the members has the wrong type.
bool readMessageFields(const Json::Value &head, const Json::Value &body, MessageFields &fields);

} // namespace zt::proxy
