// Which application heads a release-mode send accepts once a key is in place.
#pragma once

#include "ZTIP.h"

#include <cstdint>

namespace zt::ip {

// 1, or 0xDB for a key-exchange command, or 0xCC for a crypt mode outside 0x8000, 0x0101,
// 0x0102, 0x0111-0x011F, 0x0121-0x012F, 0x0300 and 0x0301-0x031F.
uint8_t validateHead(const ZTIP_Head_Para &head);

} // namespace zt::ip
