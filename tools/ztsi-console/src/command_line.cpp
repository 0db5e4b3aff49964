#include "command_line.h"

namespace zt::console {
namespace {

constexpr size_t kMinLineLength = 3;
const char *const kFormatError = "input error, format:device_id cmd\n";
const char *const kDevIdTooLong = "input error, device_id too long, over 32 bytes\n";

} // namespace

CommandLine parseCommandLine(const std::string &strLine) {
  CommandLine line;
  size_t nSpace = strLine.find(' ');
  if (nSpace == std::string::npos || strLine.size() < kMinLineLength) {
    line.strError = kFormatError;
    return line;
  }
  if (nSpace > kMaxDevIdLength) {
    line.strError = kDevIdTooLong;
    return line;
  }
  line.strDevId = strLine.substr(0, nSpace);
  line.strCommand = strLine.substr(nSpace + 1);
  if (line.strCommand.empty()) {
    line.strError = kFormatError;
  }
  return line;
}

} // namespace zt::console
