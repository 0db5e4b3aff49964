#include "connection/ztip_priority_commands.h"

#include "codec/ztip_head.h"
#include "codec/ztip_result.h"

#include <algorithm>
#include <mutex>

namespace zt::ip {
namespace {

const uint16_t kLibraryCmds[] = {kCmdKeyExchange, kCmdKeyExchangeConfirm};

std::mutex g_lock;
uint16_t g_cmds[kPrioritySlots] = {kCmdKeyExchange, kCmdKeyExchangeConfirm};

} // namespace

uint8_t setPriorityCommands(const uint16_t *pCmds, int nCount) {
  if (pCmds == nullptr || nCount > kMaxApplicationPriorityCmds)
    return kResultPriorityList;
  nCount = std::max(nCount, 0);
  std::lock_guard<std::mutex> lock(g_lock);
  std::fill(std::begin(g_cmds), std::end(g_cmds), 0);
  std::copy(pCmds, pCmds + nCount, g_cmds);
  std::copy(std::begin(kLibraryCmds), std::end(kLibraryCmds), g_cmds + nCount);
  return kResultOk;
}

bool isPriorityCommand(uint16_t uCmd) {
  std::lock_guard<std::mutex> lock(g_lock);
  return std::find(std::begin(g_cmds), std::end(g_cmds), uCmd) != std::end(g_cmds);
}

} // namespace zt::ip
