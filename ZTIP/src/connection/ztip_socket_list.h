// The list that ztIP_SocketIdList hands out: one entry per active context, owned by the
// library and valid until the next call or ztIP_Exit.
#pragma once

namespace zt::ip {

// Frees the list at ztIP_Exit.
void releaseSocketList();

} // namespace zt::ip
