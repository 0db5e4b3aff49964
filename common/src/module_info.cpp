#include "zt_common.h"

#include <cstring>

namespace zt {

void fillModuleInfo(void *pRecord, const std::string &strVersion, const std::string &strBuildTime,
                    const std::string &strModuleType, const std::string &strModuleName) {
  char *record = static_cast<char *>(pRecord);
  std::memset(record, 0, kModuleInfoSize);
  const std::string *fields[] = {&strVersion, &strBuildTime, &strModuleType, &strModuleName};
  for (size_t i = 0; i < 4; ++i) {
    size_t n = fields[i]->size() < kModuleInfoFieldSize - 1 ? fields[i]->size() : kModuleInfoFieldSize - 1;
    std::memcpy(record + i * kModuleInfoFieldSize, fields[i]->data(), n);
  }
}

} // namespace zt
