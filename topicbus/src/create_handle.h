// The create functions' common path, with the session's waits as a parameter.
#pragma once

#include "topicbus_client.h"

namespace zt::tb {

// The pre-shared key of ZTM2045_CreatePSK.
struct PskArgs {
  const char *pstrIdentity = nullptr;
  const char *pstrPsk = nullptr;
  const char *pstrCiphers = nullptr;
};

// A started client. Plain and TLS clients are returned also when start-up failed (their
// thread, if started, keeps retrying); a PSK client is then destroyed and null returned.
// Null when no memory.
TopicbusHandle *createHandle(SecurityMode eMode, const StartUpArgs &args, const PskArgs &psk,
                             const zt::bus::SessionTiming &timing);

} // namespace zt::tb
