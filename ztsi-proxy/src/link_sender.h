// What the bridges send through: the link (ZtipHandle), or a recorder in tests.
#pragma once

#include <json/json.h>

#include <string>

namespace zt::proxy {

class LinkSender {
public:
  virtual ~LinkSender() = default;
  // A request or report (status 0) to the link's own socket; an empty seqId is generated.
  virtual bool sendCommand(int nCmd, const Json::Value &body, const std::string &strSeqId = std::string()) = 0;
  // A message to the given socket id.
  virtual bool sendCommandTo(const std::string &strSocketId, int nCmd, int nStatus, const Json::Value &body,
                             const std::string &strSeqId = std::string()) = 0;
};

} // namespace zt::proxy
