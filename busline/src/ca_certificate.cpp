#include "ca_certificate.h"

#include <cstdio>
#include <unistd.h>

#include "process_paths.h"

namespace busline {

std::string caCertificatePath() {
  return zt::platform::temporaryDirectory() + zt::platform::programBaseName() + "_busline_cert.tmp";
}

std::string writeCaCertificateFile() {
  std::string strPath = caCertificatePath();
  std::string strTemp = strPath + "." + std::to_string(getpid()) + "." + std::to_string(gettid());
  FILE *pFile = std::fopen(strTemp.c_str(), "wb");
  if (pFile == nullptr) {
    return strPath;
  }
  bool bWritten = std::fwrite(kCaCertificatePem, 1, kCaCertificatePemSize, pFile) == kCaCertificatePemSize;
  bWritten = std::fclose(pFile) == 0 && bWritten;
  if (!bWritten || std::rename(strTemp.c_str(), strPath.c_str()) != 0) {
    std::remove(strTemp.c_str());
  }
  return strPath;
}

} // namespace busline
