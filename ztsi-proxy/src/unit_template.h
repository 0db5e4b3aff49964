// The systemd unit of the service, made at build time from ztsi-proxy.service.in; the text
// "{ExecStart}" in it stands for the program's command line.
#pragma once

namespace zt::proxy {

extern const char *const kUnitTemplate;

} // namespace zt::proxy
