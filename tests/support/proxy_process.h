// One ztsi-proxy process for tests and benchmarks. It gets a base folder of its own (made with
// mkdtemp, removed by the destructor) holding config/system.json, config/logger.json and the
// log/ folder the proxy writes into; it is started with --base-dir and stopped by its pid.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zt::test {

// What goes into system.json and logger.json.
struct ProxyConfig {
  int nRunMode = 0; // 0 client mode (beside the devices), 1 server mode (beside the applications)
  int nMqttPort = 0;
  std::string strLocalAddr;  // server mode: "ip:port" it listens on
  std::string strRemoteAddr; // client mode: "ip:port" of the server
  int nHeartbeatTimeoutS = 60;
  std::vector<int> vecVdtList;
  int nLogLevel = 7;
};

class ProxyProcess {
public:
  ProxyProcess(std::string strExecutable, const ProxyConfig &config);
  // Stops the process if it still runs and removes the base folder.
  ~ProxyProcess();
  ProxyProcess(const ProxyProcess &) = delete;
  ProxyProcess &operator=(const ProxyProcess &) = delete;

  // Writes the configuration (the first time) and starts the process; false when the folder or
  // the process cannot be made. Its standard output and error go to console.out in the folder.
  bool start();
  // SIGTERM, then waits up to timeout for the exit; SIGKILL as the last resort. Returns the exit
  // status, -1 when it had to be killed or was not running, 128 + n when signal n ended it.
  int stop(std::chrono::milliseconds timeout = std::chrono::seconds(15));

  bool running() const { return m_pid > 0; }
  pid_t pid() const { return m_pid; }
  const std::string &baseDir() const { return m_strBaseDir; }

  // The lines of the proxy's log files (log/ztsi-proxy*) that contain strText, oldest first.
  std::vector<std::string> logLines(const std::string &strText) const;
  int countLogLines(const std::string &strText) const { return static_cast<int>(logLines(strText).size()); }
  // Waits until at least nCount log lines contain strText.
  bool waitForLog(const std::string &strText, int nCount = 1,
                  std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  // What the process printed.
  std::string consoleText() const;

private:
  bool writeConfig() const;

  std::string m_strExecutable;
  ProxyConfig m_config;
  std::string m_strBaseDir;
  pid_t m_pid = -1;
};

} // namespace zt::test
