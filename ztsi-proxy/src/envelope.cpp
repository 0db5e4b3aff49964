#include "envelope.h"

#include "logger.h"
#include "utility.h"

#include <cstdio>

namespace zt::proxy {

std::string buildEnvelope(int nCmd, int nStatus, const Json::Value &body, const std::string &strSeqId,
                          int64_t nTimestampMs) {
  Json::Value message(Json::objectValue);
  Json::Value &head = message["head"];
  head["ver"] = kEnvelopeVersion;
  head["seqId"] = strSeqId;
  head["cmd"] = nCmd;
  head["status"] = nStatus;
  head["timestamp"] = Json::Int64(nTimestampMs);
  message["body"] = body;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  Json::StyledWriter writer;
#pragma GCC diagnostic pop
  return writer.write(message);
}

std::string generatedSeqId(int nCmd, uint32_t uCounter) {
  char szSeqId[64];
  std::snprintf(szSeqId, sizeof(szSeqId), "ztsi_proxy_%d_%u", nCmd, uCounter);
  return szSeqId;
}

bool parseMessage(const std::string &strText, ReceivedMessage &message) {
  Json::Value root;
  if (!jsonStringToObject(strText, root) || !root.isObject()) {
    logError("ZtipHandle::parseMessage,解析JSON消息失败!!");
    return false;
  }
  message.head = root["head"];
  if (!message.head.isObject() || !message.head["cmd"].isInt()) {
    logError("ZtipHandle::parseMessage,解析JSON消息失败，head无cmd参数!!");
    return false;
  }
  message.nCmd = message.head["cmd"].asInt();
  message.body = root["body"];
  return true;
}

} // namespace zt::proxy
