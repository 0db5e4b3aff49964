#include "local_ip_list.h"

#include <cstdio>
#include <mutex>

namespace zt::bus {

namespace {

std::mutex g_ipListMutex;
std::string g_strLocalIpList;

} // namespace

std::string joinIpList(const std::vector<zt::platform::Adapter> &vecAdapters) {
  std::string strList;
  for (const auto &adapter : vecAdapters) {
    for (const auto &strIp : adapter.vecIpv4) {
      if (strIp.empty() || strIp == "0.0.0.0") {
        continue;
      }
      if (!strList.empty()) {
        strList += '|';
      }
      strList += strIp;
    }
  }
  return strList;
}

void refreshLocalIpList() {
  std::vector<zt::platform::Adapter> vecAdapters;
  int nError = zt::platform::listAdapters(vecAdapters);
  if (nError != 0) {
    std::printf("getLocalIpList,GetAdaptersInfo fail,error=%u\n", unsigned(nError));
  }
  std::string strList = joinIpList(vecAdapters);
  std::lock_guard<std::mutex> lock(g_ipListMutex);
  g_strLocalIpList = strList;
}

std::string localIpList() {
  std::lock_guard<std::mutex> lock(g_ipListMutex);
  return g_strLocalIpList;
}

} // namespace zt::bus
