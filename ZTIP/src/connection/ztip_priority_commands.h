// The priority command set: 50 command codes whose received frames go to the priority
// callback queue. Unused slots hold 0, so a frame with cmd 0 is a priority frame too.
#pragma once

#include <cstdint>

namespace zt::ip {

constexpr int kPrioritySlots = 50;
constexpr int kMaxApplicationPriorityCmds = 45;

// Replaces the application codes; the library's own codes follow them. Returns 0xC1 for a
// null list or more than 45 codes (the set is then unchanged), else 1.
uint8_t setPriorityCommands(const uint16_t *pCmds, int nCount);

bool isPriorityCommand(uint16_t uCmd);

} // namespace zt::ip
