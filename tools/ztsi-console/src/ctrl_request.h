// The body of the console's control request.
#pragma once

#include <cstdint>
#include <string>

namespace zt::console {

// {"head": {cmd 2225, devId, session 0, status 0, ttl -1, timestamp, version 100},
//  "body": {ctrlType 1, credentialType 0, why 0, credentialNo "0101,...", exData: {exData ""}}},
// written by JsonCpp's styled writer.
std::string ctrlRequestBody(const std::string &strDevId, uint64_t uTimestampMs);

} // namespace zt::console
