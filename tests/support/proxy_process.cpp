#include "proxy_process.h"

#include "broker.h"

#include <json/value.h>
#include <json/writer.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zt::test {

namespace fs = std::filesystem;

namespace {

bool writeJson(const fs::path &path, const Json::Value &jsonValue) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << Json::StyledWriter().write(jsonValue);
  return static_cast<bool>(file);
}

std::string readFile(const fs::path &path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The exit status of a collected child, as stop() reports it.
int exitStatusOf(int nWaitStatus) {
  if (WIFEXITED(nWaitStatus)) {
    return WEXITSTATUS(nWaitStatus);
  }
  return WIFSIGNALED(nWaitStatus) ? 128 + WTERMSIG(nWaitStatus) : -1;
}

} // namespace

ProxyProcess::ProxyProcess(std::string strExecutable, const ProxyConfig &config)
    : m_strExecutable(std::move(strExecutable)), m_config(config) {}

ProxyProcess::~ProxyProcess() {
  stop();
  if (!m_strBaseDir.empty()) {
    std::error_code error;
    fs::remove_all(m_strBaseDir, error); // a folder left behind is harmless
  }
}

bool ProxyProcess::writeConfig() const {
  Json::Value jsonSystem(Json::objectValue);
  jsonSystem["RunMode"] = m_config.nRunMode;
  jsonSystem["MqttIp"] = "127.0.0.1";
  jsonSystem["MqttPort"] = m_config.nMqttPort;
  jsonSystem["LocalId"] = "";
  jsonSystem["LocalAddr"] = m_config.strLocalAddr;
  jsonSystem["RemoteId"] = "";
  jsonSystem["RemoteAddr"] = m_config.strRemoteAddr;
  jsonSystem["HeartbeatTimeoutS"] = m_config.nHeartbeatTimeoutS;
  jsonSystem["VdtList"] = Json::Value(Json::arrayValue);
  for (int nVdt : m_config.vecVdtList) {
    jsonSystem["VdtList"].append(nVdt);
  }
  Json::Value jsonLogger(Json::objectValue);
  // No LogDir: the proxy logs into log/ below its base folder.
  jsonLogger["LogName"] = "ztsi-proxy";
  jsonLogger["LogToStdout"] = false;
  jsonLogger["LogToFile"] = true;
  jsonLogger["LogFlushImmediately"] = true;
  jsonLogger["LogAsync"] = false;
  jsonLogger["LogFuctionName"] = true;
  jsonLogger["LogLevel"] = m_config.nLogLevel;
  Json::Value jsonSystemFile(Json::objectValue);
  jsonSystemFile["System"] = jsonSystem;
  Json::Value jsonLoggerFile(Json::objectValue);
  jsonLoggerFile["Logger"] = jsonLogger;
  fs::path config = fs::path(m_strBaseDir) / "config";
  std::error_code error;
  fs::create_directories(config, error);
  return !error && writeJson(config / "system.json", jsonSystemFile) &&
         writeJson(config / "logger.json", jsonLoggerFile);
}

bool ProxyProcess::start() {
  if (m_pid > 0) {
    return true;
  }
  if (m_strBaseDir.empty()) {
    std::string strTemplate = (fs::temp_directory_path() / "zt_proxy_XXXXXX").string();
    if (mkdtemp(strTemplate.data()) == nullptr) {
      return false;
    }
    m_strBaseDir = strTemplate;
    if (!writeConfig()) {
      return false;
    }
  }
  std::string strConsole = m_strBaseDir + "/console.out";
  pid_t pid = fork();
  if (pid < 0) {
    return false;
  }
  if (pid == 0) {
    // The proxy must not outlive a test binary that crashes.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int fd = open(strConsole.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
    }
    execl(m_strExecutable.c_str(), m_strExecutable.c_str(), "--base-dir", m_strBaseDir.c_str(),
          static_cast<char *>(nullptr));
    _exit(127);
  }
  m_pid = pid;
  return true;
}

int ProxyProcess::stop(std::chrono::milliseconds timeout) {
  if (m_pid <= 0) {
    return -1;
  }
  kill(m_pid, SIGTERM);
  int nWaitStatus = 0;
  bool bExited = waitFor([&] { return waitpid(m_pid, &nWaitStatus, WNOHANG) == m_pid; }, timeout);
  if (!bExited) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &nWaitStatus, 0);
  }
  m_pid = -1;
  return bExited ? exitStatusOf(nWaitStatus) : -1;
}

std::vector<std::string> ProxyProcess::logLines(const std::string &strText) const {
  std::vector<fs::path> vecFiles;
  std::error_code error;
  for (const auto &entry : fs::directory_iterator(fs::path(m_strBaseDir) / "log", error)) {
    if (entry.path().filename().string().rfind("ztsi-proxy", 0) == 0) {
      vecFiles.push_back(entry.path());
    }
  }
  // The backup generation (".bak") holds the older lines.
  std::sort(vecFiles.begin(), vecFiles.end(), [](const fs::path &a, const fs::path &b) {
    return (a.extension() == ".bak") > (b.extension() == ".bak");
  });
  std::vector<std::string> vecLines;
  for (const fs::path &file : vecFiles) {
    std::istringstream text(readFile(file));
    for (std::string strLine; std::getline(text, strLine);) {
      if (strLine.find(strText) != std::string::npos) {
        vecLines.push_back(strLine);
      }
    }
  }
  return vecLines;
}

bool ProxyProcess::waitForLog(const std::string &strText, int nCount,
                              std::chrono::milliseconds timeout) const {
  // The log grows long at DEBUG level: read it ten times a second, not at waitFor's pace.
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (countLogLines(strText) < nCount) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

std::string ProxyProcess::consoleText() const {
  return readFile(fs::path(m_strBaseDir) / "console.out");
}

} // namespace zt::test
