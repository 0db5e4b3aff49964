// The run model selects the channel segment of topics: DEV in Normal, TEST in Debug.
#pragma once

namespace zt::protocol {

enum RunModel : int {
  kRunModelNormal = 0,
  kRunModelDebug = 1,
};

// "Normal" for 0, "Debug" for 1, "Unknown" otherwise.
const char *runModelName(int nRunModel);

} // namespace zt::protocol
