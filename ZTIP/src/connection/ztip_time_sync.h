// Setting the system clock from a time server with one SNTP request.
#pragma once

#include <cstdint>
#include <ctime>

namespace zt::ip {

constexpr int kTimeServerPort = 123;

// Sets the clock; false when not permitted.
using ClockSetter = bool (*)(const timespec &when);

// Asks pstrServerIp:nPort for the time and passes the answer (UTC seconds since 1970 with
// 520 ms) to pSetClock. Returns 1 when the clock was set, 0 on any failure.
uint8_t syncTimeByServer(const char *pstrServerIp, int nPort, ClockSetter pSetClock);

// Turns the receive-timestamp seconds of an answer (1900 epoch) into seconds since 1970.
uint32_t ntpToUnixSeconds(uint32_t uNtpSeconds);

} // namespace zt::ip
