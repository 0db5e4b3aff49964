#include "systemd_service.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zt::platform {

SystemdService::SystemdService(std::string strName, SystemdSettings settings)
    : m_strName(std::move(strName)), m_settings(std::move(settings)) {}

std::string SystemdService::unitPath() const {
  return m_settings.strUnitDirectory + "/" + m_strName + ".service";
}

bool SystemdService::systemdRunning() const {
  struct stat info {};
  return lstat(m_settings.strRuntimeDirectory.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool SystemdService::unitInstalled() const {
  struct stat info {};
  return stat(unitPath().c_str(), &info) == 0;
}

bool SystemdService::writeUnit(const std::string &strText) const {
  std::string strTemp = unitPath() + ".new";
  {
    std::ofstream file(strTemp, std::ios::binary | std::ios::trunc);
    if (!(file << strText) || !file.flush())
      return false;
  }
  if (std::rename(strTemp.c_str(), unitPath().c_str()) != 0) {
    std::remove(strTemp.c_str());
    return false;
  }
  return true;
}

bool SystemdService::removeUnit() const { return std::remove(unitPath().c_str()) == 0; }

bool SystemdService::systemctl(const std::vector<std::string> &vecArgs, bool bWithUnit) const {
  std::vector<std::string> vecAll{m_settings.strSystemctl};
  vecAll.insert(vecAll.end(), vecArgs.begin(), vecArgs.end());
  if (bWithUnit)
    vecAll.push_back(m_strName + ".service");
  std::vector<char *> vecArgv;
  for (std::string &strArg : vecAll)
    vecArgv.push_back(strArg.data());
  vecArgv.push_back(nullptr);
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid < 0)
    return false;
  if (pid == 0) {
    execvp(vecArgv[0], vecArgv.data());
    _exit(127);
  }
  int nStatus = 0;
  while (waitpid(pid, &nStatus, 0) < 0) {
    if (errno != EINTR)
      return false;
  }
  return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}

bool SystemdService::active() const { return systemctl({"is-active", "--quiet"}); }

} // namespace zt::platform
