#include "response_object.h"

#include <json/writer.h>

#include <memory>
#include <sstream>

namespace zt::protocol {

std::string compactJson(const Json::Value &jsonValue) {
  // Every answer passes here: each thread keeps its writer and stream instead of building them anew.
  thread_local const std::unique_ptr<Json::StreamWriter> pWriter = [] {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return std::unique_ptr<Json::StreamWriter>(builder.newStreamWriter());
  }();
  thread_local std::ostringstream stream;
  stream.str(std::string());
  stream.clear();
  pWriter->write(jsonValue, &stream);
  return stream.str();
}

namespace {

// Printable ASCII: JsonCpp's writer copies it unchanged but for a backslash before '"' and '\\'.
bool isPlainText(const char *pData, int nLength) {
  for (int i = 0; i < nLength; ++i) {
    unsigned char c = static_cast<unsigned char>(pData[i]);
    if (c < 0x20 || c > 0x7E) {
      return false;
    }
  }
  return true;
}

} // namespace

std::string responseBody(int nCmd, int nCode, const char *pData, int nLength) {
  if (pData == nullptr || nLength <= 0) {
    pData = "";
    nLength = 0;
  }
  if (!isPlainText(pData, nLength)) {
    // Control characters and other bytes take JsonCpp's escaping.
    Json::Value jsonResponse(Json::objectValue);
    jsonResponse["cmd"] = nCmd;
    jsonResponse["code"] = nCode;
    jsonResponse["desc"] = Json::Value(pData, pData + nLength);
    return compactJson(jsonResponse);
  }
  // Every answer passes here: the writer's bytes for plain text, built without a JSON tree.
  std::string strBody =
      "{\"cmd\":" + std::to_string(nCmd) + ",\"code\":" + std::to_string(nCode) + ",\"desc\":\"";
  strBody.reserve(strBody.size() + size_t(nLength) + size_t(nLength) / 8 + 2);
  for (int i = 0; i < nLength; ++i) {
    if (pData[i] == '"' || pData[i] == '\\') {
      strBody += '\\';
    }
    strBody += pData[i];
  }
  strBody += "\"}";
  return strBody;
}

std::string requestTimeoutDesc() {
  Json::Value jsonDesc(Json::objectValue);
  jsonDesc["code"] = kCodeRequestTimeout;
  jsonDesc["desc"] = "Request time out!";
  return compactJson(jsonDesc);
}

std::string runModelDesc(int nRunModel) {
  return "{\"runmodel\":" + std::to_string(nRunModel) + "}";
}

} // namespace zt::protocol
