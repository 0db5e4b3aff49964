// The local time of a second, converted once per thread and second: a busy log stamps the
// same second many times, and localtime_r is not cheap.
#pragma once

#include <cstddef>
#include <ctime>

namespace zt::log {

struct LocalSecond {
  std::tm tmLocal;
  char szText[64]; // "YYYY-MM-DD hh:mm:ss"
  size_t nTextLength;
};

// Valid on the calling thread until its next call with another second.
const LocalSecond &localSecond(std::time_t tSecond);

} // namespace zt::log
