#include "process_paths.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace zt::platform {

std::string executablePath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) {
    return std::string();
  }
  return std::string(buf, static_cast<size_t>(n));
}

std::string executableDirectory() {
  std::string strPath = executablePath();
  size_t pos = strPath.rfind('/');
  if (pos == std::string::npos) {
    return ".";
  }
  return pos == 0 ? std::string("/") : strPath.substr(0, pos);
}

std::string programBaseName() {
  std::string strPath = executablePath();
  std::string strName = strPath.substr(strPath.rfind('/') + 1);
  size_t dot = strName.rfind('.');
  return dot == std::string::npos ? strName : strName.substr(0, dot);
}

bool makeDirectories(const std::string &strPath) {
  if (strPath.empty()) {
    return false;
  }
  for (size_t pos = 1; pos <= strPath.size(); ++pos) {
    if (pos == strPath.size() || strPath[pos] == '/') {
      std::string strPart = strPath.substr(0, pos);
      if (mkdir(strPart.c_str(), 0755) != 0 && errno != EEXIST) {
        return false;
      }
    }
  }
  struct stat st;
  return stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace zt::platform
