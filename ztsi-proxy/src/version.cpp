#include "version.h"

#include "zt_common.h"

namespace zt::proxy {

std::string versionString() {
  return std::string("ztsi-proxy V1.0.0 (") + buildTimeString(__DATE__, __TIME__) + ")";
}

} // namespace zt::proxy
