#include "random_bytes.h"

#include <cerrno>
#include <cstdint>
#include <sys/random.h>

namespace zt::platform {

bool fillRandom(void *pBuffer, size_t nLen) {
  auto *pOut = static_cast<uint8_t *>(pBuffer);
  size_t nDone = 0;
  while (nDone < nLen) {
    ssize_t nGot = getrandom(pOut + nDone, nLen - nDone, 0);
    if (nGot < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    nDone += static_cast<size_t>(nGot);
  }
  return true;
}

} // namespace zt::platform
