#include "adapters.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

namespace zt::platform {

namespace {

Adapter &adapterNamed(std::vector<Adapter> &vecAdapters, const char *pstrName) {
  auto it = std::find_if(vecAdapters.begin(), vecAdapters.end(),
                         [pstrName](const Adapter &adapter) { return adapter.strName == pstrName; });
  if (it != vecAdapters.end()) {
    return *it;
  }
  vecAdapters.push_back(Adapter{pstrName, {}, {}});
  return vecAdapters.back();
}

} // namespace

int listAdapters(std::vector<Adapter> &vecAdapters) {
  vecAdapters.clear();
  ifaddrs *pList = nullptr;
  if (getifaddrs(&pList) != 0) {
    return errno != 0 ? errno : -1;
  }
  for (ifaddrs *pEntry = pList; pEntry != nullptr; pEntry = pEntry->ifa_next) {
    if (pEntry->ifa_addr == nullptr || (pEntry->ifa_flags & IFF_LOOPBACK) != 0) {
      continue;
    }
    int nFamily = pEntry->ifa_addr->sa_family;
    if (nFamily == AF_PACKET) {
      const auto *pLink = reinterpret_cast<const sockaddr_ll *>(pEntry->ifa_addr);
      Adapter &adapter = adapterNamed(vecAdapters, pEntry->ifa_name);
      size_t nLen = std::min<size_t>(pLink->sll_halen, adapter.mac.size());
      std::copy(pLink->sll_addr, pLink->sll_addr + nLen, adapter.mac.begin());
    } else if (nFamily == AF_INET) {
      const auto *pInet = reinterpret_cast<const sockaddr_in *>(pEntry->ifa_addr);
      char szText[INET_ADDRSTRLEN] = {0};
      if (inet_ntop(AF_INET, &pInet->sin_addr, szText, sizeof szText) != nullptr) {
        adapterNamed(vecAdapters, pEntry->ifa_name).vecIpv4.push_back(szText);
      }
    }
  }
  freeifaddrs(pList);
  return 0;
}

} // namespace zt::platform
