#include "trusted_ca.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>

#include "busline_log.h"
#include "ca_certificate.h"

namespace zt::bus {

namespace {

std::mutex g_systemCaMutex; // guards g_strSystemCaFile
std::string g_strSystemCaFile = kSystemCaFile;

std::string systemCaFile() {
  std::lock_guard<std::mutex> lock(g_systemCaMutex);
  return g_strSystemCaFile;
}

bool fileExists(const std::string &strPath) {
  struct stat st;
  return stat(strPath.c_str(), &st) == 0;
}

bool readFile(const std::string &strPath, std::string &strContent) {
  std::ifstream file(strPath, std::ios::binary);
  std::ostringstream content;
  if (!(file && content << file.rdbuf())) {
    return false;
  }
  strContent = content.str();
  return true;
}

} // namespace

void setSystemCaFile(const std::string &strPath) {
  std::lock_guard<std::mutex> lock(g_systemCaMutex);
  g_strSystemCaFile = strPath;
}

TlsContext loadTrustedCa(const char *pstrCaller) {
  const char *pstrEnvFile = std::getenv("ZT_CA_FILE");
  bool bNamedByEnv = pstrEnvFile != nullptr && pstrEnvFile[0] != '\0';
  std::string strFile = bNamedByEnv ? pstrEnvFile : systemCaFile();
  std::string strPem;
  if (!bNamedByEnv && !fileExists(strFile)) {
    strFile = "(compiled in)";
    strPem.assign(kCaCertificatePem, kCaCertificatePemSize);
  } else if (!readFile(strFile, strPem)) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,CA load fail,strCaFile=%s,not readable", pstrCaller, strFile.c_str());
    return nullptr;
  }
  bool bTestCa = false;
  TlsContext ctx = makeTlsContext(strPem, bTestCa);
  if (!ctx) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "%s,CA load fail,strCaFile=%s,no PEM certificate", pstrCaller, strFile.c_str());
  } else if (bTestCa) {
    BUSLINE_LOG(zt::log::LOG_WARN, "%s,strCaFile=%s is the repository's test CA, whose key is public: for tests only",
                pstrCaller, strFile.c_str());
  }
  return ctx;
}

} // namespace zt::bus
