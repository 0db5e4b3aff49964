// Transfer records: one log line (level 0, area 5) per application frame sent or received.
#pragma once

#include <cstdint>

#include "ZTIP.h"

namespace zt::ip {

// Writes the record unless cmd is a key-exchange or heartbeat command. nDataLen is the
// payload length (padding removed on receipt); the payload itself is never logged.
void logTransferRecord(bool bSend, bool bTcp, const ZTIP_Head_Para &para, uint32_t nDataLen, int nSocket,
                       const char *pstrIp, const char *pstrPort);

} // namespace zt::ip
