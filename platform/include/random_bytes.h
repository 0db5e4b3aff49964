// Bytes from the kernel's random source.
#pragma once

#include <cstddef>

namespace zt::platform {

// Fills the buffer from getrandom(), retrying interrupted and partial reads; false when the
// source fails.
bool fillRandom(void *pBuffer, size_t nLen);

} // namespace zt::platform
