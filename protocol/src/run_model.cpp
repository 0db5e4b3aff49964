#include "run_model.h"

namespace zt::protocol {

const char *runModelName(int nRunModel) {
  switch (nRunModel) {
  case kRunModelNormal:
    return "Normal";
  case kRunModelDebug:
    return "Debug";
  default:
    return "Unknown";
  }
}

} // namespace zt::protocol
