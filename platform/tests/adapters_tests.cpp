#include "adapters.h"

#include <arpa/inet.h>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

namespace {

std::string macText(const std::array<uint8_t, 6> &mac) {
  char szText[18];
  std::snprintf(szText, sizeof szText, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return szText;
}

} // namespace

// The adapter list agrees with what the kernel shows under /sys/class/net.
TEST(Adapters, MatchTheKernelsViewWithoutLoopback) {
  std::vector<zt::platform::Adapter> vecAdapters;
  ASSERT_EQ(zt::platform::listAdapters(vecAdapters), 0);
  for (const auto &adapter : vecAdapters) {
    EXPECT_NE(adapter.strName, "lo");
    std::ifstream file("/sys/class/net/" + adapter.strName + "/address");
    std::string strKernelMac;
    if (file >> strKernelMac && strKernelMac.size() == 17) {
      EXPECT_EQ(macText(adapter.mac), strKernelMac) << adapter.strName;
    }
    for (const auto &strIp : adapter.vecIpv4) {
      in_addr addr{};
      EXPECT_EQ(inet_pton(AF_INET, strIp.c_str(), &addr), 1) << strIp;
      EXPECT_NE(strIp.rfind("127.", 0), 0u) << strIp;
    }
  }
}
