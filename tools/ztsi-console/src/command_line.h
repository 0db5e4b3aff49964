// A console command line: "<device id> <command>".
#pragma once

#include <string>

namespace zt::console {

struct CommandLine {
  // Empty when the line is valid, else the message to print.
  std::string strError;
  std::string strDevId;
  std::string strCommand;
};

constexpr size_t kMaxDevIdLength = 32;

// Splits at the first space: the line needs a space, 3 characters or more, a device id of at
// most 32 characters and a non-empty command.
CommandLine parseCommandLine(const std::string &strLine);

} // namespace zt::console
