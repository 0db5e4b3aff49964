#include "callback_guard.h"

#include "logger.h"

namespace zt::proxy {

void logCallbackException(const char *pstrFunction, const char *pstrWhat) {
  logError("%s (内部运行异常)try_catch_exception:%s", pstrFunction, pstrWhat);
}

} // namespace zt::proxy
