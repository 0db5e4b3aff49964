#include "ztdm_module_info.h"

#include "zt_common.h"

namespace zt::dm {

void fillZtdmModuleInfo(ZtModuleInfo *pModuleInfo) {
  fillModuleInfo(pModuleInfo, "3.1.3", buildTimeString(__DATE__, __TIME__), "ZTM2042", "ZTDM");
}

} // namespace zt::dm
