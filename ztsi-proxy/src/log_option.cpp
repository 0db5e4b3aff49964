#include "log_option.h"

#include "process_paths.h"
#include "utility.h"
#include "version.h"

#include <algorithm>
#include <exception>

namespace zt::proxy {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

bool boolOr(const Json::Value &logger, const char *pstrName, bool bDefault) {
  return logger.isMember(pstrName) ? logger[pstrName].asBool() : bDefault;
}

std::string trimmed(const std::string &strText) {
  const char *pstrBlanks = " \t\r\n\f\v";
  size_t nFirst = strText.find_first_not_of(pstrBlanks);
  if (nFirst == std::string::npos)
    return std::string();
  return strText.substr(nFirst, strText.find_last_not_of(pstrBlanks) - nFirst + 1);
}

void readLoggerMembers(const Json::Value &logger, const std::string &strBaseDir, zt::log::LogOption &option) {
  if (!logger.isNull()) {
    option.strLogDir = logger["LogDir"].asString();
    option.strLogName = logger["LogName"].asString();
    option.bLogToStdout = boolOr(logger, "LogToStdout", false);
    option.bLogToFile = boolOr(logger, "LogToFile", true);
    option.bLogFlushImmediately = boolOr(logger, "LogFlushImmediately", false);
    option.bLogAsync = boolOr(logger, "LogAsync", true);
    option.bLogFuctionName = boolOr(logger, "LogFuctionName", false);
    option.nLogLevel = logger.isMember("LogLevel") ? logger["LogLevel"].asInt() : zt::log::LOG_DEBUG;
    option.nLogMaxSize = logger.isMember("LogMaxSize") ? logger["LogMaxSize"].asInt64() : 100 * kMiB;
  } else {
    option.strLogDir = strBaseDir + "/log";
    option.strLogName = "ztsi-proxy";
    option.bLogToStdout = false;
    option.bLogToFile = true;
    option.bLogFlushImmediately = false;
    option.bLogAsync = true;
    option.bLogFuctionName = false;
    option.nLogLevel = zt::log::LOG_DEBUG;
    option.nLogMaxSize = 100 * kMiB;
  }
  option.nAsyncQueueLimit = 2 * kMiB;
}

} // namespace

zt::log::LogOption loadLogOption(const std::string &strBaseDir) {
  zt::log::LogOption option;
  try {
    std::string strText;
    Json::Value root;
    if (loadFileContent(strBaseDir + "/config/logger.json", strText))
      jsonStringToObject(strText, root);
    option.strHeader = "\t\tztsi-proxyv" + versionString() + "\n\n";
    readLoggerMembers(root.isObject() ? root["Logger"] : Json::Value::nullSingleton(), strBaseDir, option);
    if (option.strLogDir.empty())
      option.strLogDir = strBaseDir + "/log";
    zt::platform::makeDirectories(option.strLogDir);
    option.strLogName = trimmed(option.strLogName);
    if (option.strLogName.empty())
      option.strLogName = "ztsi-proxy";
    option.nLogLevel = std::clamp(option.nLogLevel, 0, 7);
    int64_t nMaxSize = static_cast<int64_t>(option.nLogMaxSize);
    option.nLogMaxSize = static_cast<uint64_t>(std::clamp<int64_t>(nMaxSize, kMiB, 100 * kMiB));
  } catch (const std::exception &e) {
    logFatal("try_catch_exception,%s_%s_%d,%s", "global_data", "loadLogOption", __LINE__, e.what());
  }
  return option;
}

} // namespace zt::proxy
