#include "log_test_dir.h"

#include "process_paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zt::log::test {

ScratchDir::ScratchDir() {
  std::string strTemplate = platform::temporaryDirectory() + "zt_log_test_XXXXXX";
  if (mkdtemp(&strTemplate[0]) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  m_strPath = strTemplate;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_strPath, ec);
}

std::string readFile(const std::string &strPath) {
  std::ifstream in(strPath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool fileExists(const std::string &strPath) {
  return std::filesystem::exists(strPath);
}

std::vector<std::string> splitLines(const std::string &strText) {
  std::vector<std::string> lines;
  size_t nStart = 0;
  while (nStart < strText.size()) {
    size_t nEnd = strText.find('\n', nStart);
    if (nEnd == std::string::npos) {
      lines.push_back(strText.substr(nStart));
      break;
    }
    size_t nContentEnd = (nEnd > nStart && strText[nEnd - 1] == '\r') ? nEnd - 1 : nEnd;
    lines.push_back(strText.substr(nStart, nContentEnd - nStart));
    nStart = nEnd + 1;
  }
  return lines;
}

LogOption fileOption(const std::string &strDir, const std::string &strName) {
  LogOption option;
  option.strLogDir = strDir;
  option.strLogName = strName;
  option.bLogToFile = true;
  option.bControlSocket = false;
  return option;
}

} // namespace zt::log::test
