// The proxy as a service: OnStart reads the settings, starts the log and the bridge of the
// configured mode, then the link; OnStop releases them in the reverse order.
#pragma once

#include "global_data.h"
#include "link_timings.h"
#include "win_service.h"
#include "ztdm_handle.h"
#include "ztip_handle.h"
#include "ztsi_handle.h"

#include <chrono>
#include <memory>
#include <string>

namespace zt::proxy {

struct ProxyTimings {
  LinkTimings link;
  std::chrono::milliseconds ackTimeout{15000};
};

class ZtsiProxyService : public WinService {
public:
  // strBaseDir holds config/ and log/.
  ZtsiProxyService(std::string strBaseDir, zt::platform::SystemdService &systemd, std::ostream &out,
                   std::ostream &err, ProxyTimings timings = ProxyTimings());
  ~ZtsiProxyService() override;

  void OnStart() override;
  void OnStop() override;

  GlobalData &data() { return m_data; }

private:
  std::string m_strBaseDir;
  ProxyTimings m_timings;
  GlobalData m_data;
  std::unique_ptr<ZtipHandle> m_pLink;
  std::unique_ptr<ZtsiHandle> m_pClientBridge;
  std::unique_ptr<ZtdmHandle> m_pServerBridge;
  bool m_bStarted = false;
};

} // namespace zt::proxy
