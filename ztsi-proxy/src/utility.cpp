#include "utility.h"

#include "logger.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>

namespace zt::proxy {

bool loadFileContent(const std::string &strFilePath, std::string &strText) {
  std::ifstream file(strFilePath, std::ios::binary);
  if (!file) {
    logError("loadFileContent,fail,strFilePath=%s,errno=%d", strFilePath.c_str(), errno);
    return false;
  }
  strText.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return true;
}

bool tryParseJson(const std::string &strText, Json::Value &value, std::string *pstrError) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> pReader(builder.newCharReader());
  return pReader->parse(strText.data(), strText.data() + strText.size(), &value, pstrError);
}

bool jsonStringToObject(const std::string &strText, Json::Value &value) {
  std::string strError;
  if (!tryParseJson(strText, value, &strError)) {
    logError("jsonStringToObject,json parse fail,strError=%s", strError.c_str());
    return false;
  }
  return true;
}

} // namespace zt::proxy
