// The JSON envelope of one link message: {"body": {...}, "head": {"cmd", "seqId", "status",
// "timestamp", "ver"}}, written by the styled writer (3-space indent), members in name order.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <string>

namespace zt::proxy {

constexpr const char *kEnvelopeVersion = "1.1.0";

struct ReceivedMessage {
  int nCmd = 0;
  Json::Value head;
  Json::Value body;
};

// The envelope text with the given timestamp (milliseconds since 1970).
std::string buildEnvelope(int nCmd, int nStatus, const Json::Value &body, const std::string &strSeqId,
                          int64_t nTimestampMs);

// "ztsi_proxy_<cmd>_<counter>".
std::string generatedSeqId(int nCmd, uint32_t uCounter);

// Parses a received text; false (with one ERROR line) when it is not a JSON object or its
// head has no integer "cmd".
bool parseMessage(const std::string &strText, ReceivedMessage &message);

} // namespace zt::proxy
