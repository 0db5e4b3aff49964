#include "log_file.h"

#include "daily_file.h"
#include "rotating_file.h"

namespace zt::log {

std::unique_ptr<LogFile> makeLogFile(const LogOption &option) {
  if (option.eFiles == FilePolicy::Daily) {
    return std::make_unique<DailyFile>(option.strLogDir, option.strLogName, option.strHeader);
  }
  return std::make_unique<RotatingFile>(option.strLogDir, option.strLogName, option.strHeader,
                                        option.nLogMaxSize);
}

} // namespace zt::log
