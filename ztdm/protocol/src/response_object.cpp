#include "response_object.h"

#include <json/writer.h>

#include <memory>
#include <sstream>

namespace zt {

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

std::string responseBody(int nCmd, int nCode, const char *pData, int nLength) {
  Json::Value jsonResponse(Json::objectValue);
  jsonResponse["cmd"] = nCmd;
  jsonResponse["code"] = nCode;
  if (pData != nullptr && nLength > 0) {
    jsonResponse["desc"] = Json::Value(pData, pData + nLength);
  } else {
    jsonResponse["desc"] = "";
  }
  return compactJson(jsonResponse);
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

} // namespace zt
