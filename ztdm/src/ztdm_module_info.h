// The module information of the library.
#pragma once

#include "zt_module_info.h"

namespace zt::dm {

void fillZtdmModuleInfo(ZtModuleInfo *pModuleInfo);

} // namespace zt::dm
