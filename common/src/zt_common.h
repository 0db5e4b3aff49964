// Internal helpers shared by several deliverables (not exported from any library).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zt {

// Turns the compiler's __DATE__ ("Oct 19 2021") and __TIME__ ("09:42:32") into
// "2021-10-19 09:42:32"; when the date cannot be parsed, "<date> <time>" unchanged.
std::string buildTimeString(const char *pstrDate, const char *pstrTime);

// The 256-byte module information record: four zero-terminated 64-byte text fields.
constexpr size_t kModuleInfoFieldSize = 64;
constexpr size_t kModuleInfoSize = 4 * kModuleInfoFieldSize;

// Zero-fills the record and copies each text into its field, cut to 63 characters.
void fillModuleInfo(void *pRecord, const std::string &strVersion, const std::string &strBuildTime,
                    const std::string &strModuleType, const std::string &strModuleName);

// Milliseconds of a monotonic clock (stands in for the system tick counter).
uint64_t tickMs();

} // namespace zt
