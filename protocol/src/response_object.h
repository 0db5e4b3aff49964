// The JSON bodies the device side answers with, as JsonCpp's compact writer writes them
// (one line, no trailing newline).
#pragma once

#include <json/value.h>

#include <string>

namespace zt::protocol {

// One-line JSON text of a value.
std::string compactJson(const Json::Value &jsonValue);

// {"cmd":<cmd>,"code":<code>,"desc":"<the data bytes as a string>"}; no data gives "".
std::string responseBody(int nCmd, int nCode, const char *pData, int nLength);

// {"code":4,"desc":"Request time out!"}: the desc of a deferred request that timed out.
std::string requestTimeoutDesc();

// {"runmodel":<model>}: the desc of a run-model answer.
std::string runModelDesc(int nRunModel);

// Result code of a deferred request whose driver never answered.
constexpr int kCodeRequestTimeout = 4;

} // namespace zt::protocol
