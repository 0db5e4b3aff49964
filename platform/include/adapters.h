// The machine's network adapters as the libraries see them: name, hardware address
// and IPv4 addresses, loopback left out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zt::platform {

struct Adapter {
  std::string strName;              // interface name, e.g. "eth0"
  std::array<uint8_t, 6> mac{};     // hardware address (zero when the interface has none)
  std::vector<std::string> vecIpv4; // dotted-decimal addresses in system order
};

// Reads the adapters with getifaddrs, in the order the system lists them.
// Returns 0, or the errno of the failed query (the list is then empty).
int listAdapters(std::vector<Adapter> &vecAdapters);

} // namespace zt::platform
