// The CA that the built-in sessions (busline_init, nm_mqtt_init_session) trust: the file named by
// $ZT_CA_FILE when set, else the system file when it exists, else the certificate compiled in.
#pragma once

#include <string>

#include "tls_context.h"

namespace zt::bus {

constexpr const char *kSystemCaFile = "/etc/ztaccess/ca.crt";

// Replaces the system file's path (tests point it elsewhere).
void setSystemCaFile(const std::string &strPath);

// The TLS context of the trusted CA, or null after one ERROR line naming the file that could
// not be used; a WARN line when the CA is the repository's test CA. pstrCaller starts each line.
TlsContext loadTrustedCa(const char *pstrCaller);

} // namespace zt::bus
