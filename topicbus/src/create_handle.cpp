#include "create_handle.h"

#include <new>

#include "busline_log.h"

namespace zt::tb {

TopicbusHandle *createHandle(SecurityMode eMode, const StartUpArgs &args, const PskArgs &psk,
                             const zt::bus::SessionTiming &timing) {
  auto *pHandle = new (std::nothrow) TopicbusHandle(timing);
  if (pHandle == nullptr) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "创建topicbus客户端失败！");
    return nullptr;
  }
  if (eMode == SecurityMode::Tls) {
    pHandle->setTls();
  } else if (eMode == SecurityMode::Psk) {
    pHandle->setPsk(psk.pstrIdentity, psk.pstrPsk, psk.pstrCiphers);
  }
  int nRet = pHandle->startUp(args);
  if (nRet != 0) {
    BUSLINE_LOG(zt::log::LOG_ERROR, "Init faild！ret=[%d]", nRet);
    if (eMode == SecurityMode::Psk) {
      delete pHandle;
      return nullptr;
    }
  }
  return pHandle;
}

} // namespace zt::tb
