#include "ctrl_request.h"

#include <json/json.h>

namespace zt::console {

std::string ctrlRequestBody(const std::string &strDevId, uint64_t uTimestampMs) {
  Json::Value request;
  Json::Value &head = request["head"];
  head["cmd"] = 2225;
  head["devId"] = strDevId;
  head["session"] = 0;
  head["status"] = 0;
  head["ttl"] = -1;
  head["timestamp"] = Json::Int64(uTimestampMs);
  head["version"] = 100;
  Json::Value &body = request["body"];
  body["ctrlType"] = Json::UInt(1);
  body["credentialType"] = Json::UInt(0);
  body["why"] = Json::UInt(0);
  body["credentialNo"] = "0101,A0001";
  body["exData"]["exData"] = "";
  return Json::StyledWriter().write(request);
}

} // namespace zt::console
