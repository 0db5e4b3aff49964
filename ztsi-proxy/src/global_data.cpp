#include "global_data.h"

#include "logger.h"
#include "utility.h"
#include "uuid.h"

#include <exception>

namespace zt::proxy {

std::string GlobalData::brokerAddress() const {
  return (strMqttIp + ":" + std::to_string(nMqttPort)).substr(0, 127);
}

std::string GlobalData::localId() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_strLocalId;
}

void GlobalData::setLocalId(const std::string &strId) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_strLocalId = strId;
}

std::string GlobalData::serverAppId() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_strServerAppId;
}

void GlobalData::setServerAppId(const std::string &strId) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_strServerAppId = strId;
}

namespace {

// Reads the members as the JSON library converts them: a text where a number is expected
// throws, which ends the reading.
void readSystemMembers(const Json::Value &system, GlobalData &data) {
  data.nRunMode = system["RunMode"].asInt();
  if (system.isMember("MqttIp"))
    data.strMqttIp = system["MqttIp"].asString();
  if (system.isMember("MqttPort"))
    data.nMqttPort = system["MqttPort"].asInt();
  data.setLocalId(system["LocalId"].asString());
  data.strLocalAddr = system["LocalAddr"].asString();
  data.strRemoteId = system["RemoteId"].asString();
  data.strRemoteAddr = system["RemoteAddr"].asString();
  data.nHeartbeatTimeoutS = system["HeartbeatTimeoutS"].asInt();
  const Json::Value &vdts = system["VdtList"];
  if (vdts.isArray()) {
    for (const Json::Value &vdt : vdts)
      data.vdtList.push_back(vdt.asInt());
  }
}

// Runs also when the reading stopped early: the link thread takes its tick counter modulo the
// period, and the client notices a restarted server only by a changed identity, so neither may
// be left empty or out of range.
void settleLinkSettings(GlobalData &data) {
  if (data.nHeartbeatTimeoutS < 1 || data.nHeartbeatTimeoutS > 600)
    data.nHeartbeatTimeoutS = 60;
  data.strClientAppId = "client-" + makeUuidString();
  data.setServerAppId("server-" + makeUuidString());
}

} // namespace

void loadSystemConfig(const std::string &strBaseDir, GlobalData &data) {
  try {
    std::string strText;
    Json::Value root;
    if (loadFileContent(strBaseDir + "/config/system.json", strText) && !jsonStringToObject(strText, root)) {
      logError("loadSystemConfig,failed");
      root = Json::Value();
    }
    const Json::Value &system = root.isObject() ? root["System"] : Json::Value::nullSingleton();
    if (!system.isNull())
      readSystemMembers(system, data);
    if (data.strMqttIp.empty())
      data.strMqttIp = "127.0.0.1";
    if (data.nMqttPort < 1 || data.nMqttPort > 65534)
      data.nMqttPort = 1883;
    settleLinkSettings(data);
    std::string strVdts;
    for (int nVdt : data.vdtList)
      strVdts += std::to_string(nVdt) + ",";
    logInfo("loadSystemConfig,nRunMode=%d,strMqttIp=[%s],nMqttPort=%d,strLocalId=[%s],strLocalAddr=[%s],"
            "strRemoteId=[%s],strRemoteAddr=[%s],nHeartbeatTimeoutS=%d,ssVdtList=[%s],strClientAppId=[%s],"
            "strServerAppId=[%s]",
            data.nRunMode, data.strMqttIp.c_str(), data.nMqttPort, data.localId().c_str(),
            data.strLocalAddr.c_str(), data.strRemoteId.c_str(), data.strRemoteAddr.c_str(),
            data.nHeartbeatTimeoutS, strVdts.c_str(), data.strClientAppId.c_str(), data.serverAppId().c_str());
  } catch (const std::exception &e) {
    logFatal("try_catch_exception,%s_%s_%d,%s", "global_data", "loadSystemConfig", __LINE__, e.what());
    settleLinkSettings(data);
  }
}

} // namespace zt::proxy
