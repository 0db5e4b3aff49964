// Task addresses: "a.b.c.d:port" is a tcp endpoint, anything else the name of an in-process
// (inproc) endpoint.
#pragma once

#include <string>

namespace zt::mq {

// True when the address is a dotted IPv4 address, ":" and a decimal port.
bool isTcpAddress(const std::string &strAddr);

// The ZeroMQ endpoint of an address: "tcp://" or "inproc://" in front of it.
std::string endpointOf(const std::string &strAddr);

// Whether ZTConfigSetAddr takes the address: 0, -12 when empty, -15 when it is longer than an
// id, or holds ":" without being a tcp address with a port of 1024 to 65535.
int checkConfiguredAddress(const std::string &strAddr);

} // namespace zt::mq
