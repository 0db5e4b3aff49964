// The proxy's configuration, read once from <base>/config/system.json at start. Two texts
// change while the proxy runs and are read by several threads (link thread, ZTIP's threads,
// the SDKs' callback threads): the link's socket id and the server's identity. They are kept
// behind a lock; everything else is written before any thread starts and only read after.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace zt::proxy {

class GlobalData {
public:
  int nRunMode = 0; // 0 client mode, anything else server mode
  std::string strMqttIp = "127.0.0.1";
  int nMqttPort = 1883;
  std::string strLocalAddr;
  std::string strRemoteId;
  std::string strRemoteAddr;
  int nHeartbeatTimeoutS = 60;
  std::vector<int> vdtList;
  std::string strClientAppId;

  bool serverMode() const { return nRunMode != 0; }
  // "<strMqttIp>:<nMqttPort>", at most 127 characters, for the SDK of the mode.
  std::string brokerAddress() const;

  // The socket id of the link (decimal), empty while there is none.
  std::string localId() const;
  void setLocalId(const std::string &strId);
  // This process's identity in server mode; the server's last known one in client mode.
  std::string serverAppId() const;
  void setServerAppId(const std::string &strId);

private:
  mutable std::mutex m_mutex;
  std::string m_strLocalId;
  std::string m_strServerAppId;
};

// Fills data from <strBaseDir>/config/system.json. A missing or broken file keeps the
// defaults; a member of the wrong type stops the reading there (one FATAL line).
void loadSystemConfig(const std::string &strBaseDir, GlobalData &data);

} // namespace zt::proxy
