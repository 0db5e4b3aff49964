// The link's timers. The program runs with these values; tests shorten them.
#pragma once

#include <chrono>

namespace zt::proxy {

struct LinkTimings {
  std::chrono::milliseconds tick{1000};         // link thread period; heartbeats count ticks
  std::chrono::milliseconds retry{10000};       // least time between two connect or listen attempts
  std::chrono::milliseconds connectPause{1000}; // after a connect, for the key exchange to finish
};

} // namespace zt::proxy
