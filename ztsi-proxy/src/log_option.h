// The log settings of <base>/config/logger.json.
#pragma once

#include "logger.h"

#include <string>

namespace zt::proxy {

// Reads the settings, fills in the defaults, keeps them in range and creates the log
// directory (by default <base>/log, file name "ztsi-proxy").
zt::log::LogOption loadLogOption(const std::string &strBaseDir);

} // namespace zt::proxy
