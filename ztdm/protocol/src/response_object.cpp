#include "response_object.h"

#include <json/writer.h>

namespace zt {

std::string compactJson(const Json::Value &jsonValue) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, jsonValue);
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
