// Random identities in the 8-4-4-4-12 form.
#pragma once

#include <string>

namespace zt::proxy {

// 36 lower-case characters: byte 6 is "4" and one digit, byte 8 one of "89ab" and one digit,
// the 16 bytes drawn from the system's random source.
std::string makeUuidString();

} // namespace zt::proxy
