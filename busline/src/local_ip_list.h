// The process-wide list of the local IPv4 addresses ("a|b|c") sent with every message.
#pragma once

#include <string>
#include <vector>

#include "adapters.h"

namespace zt::bus {

// Joins the adapters' addresses in order with "|", leaving out empty ones and "0.0.0.0".
std::string joinIpList(const std::vector<zt::platform::Adapter> &vecAdapters);

// Reads the adapters again and replaces the process-wide list (empty when they cannot be read).
void refreshLocalIpList();

std::string localIpList();

} // namespace zt::bus
