// Where the running program lives and where it may put temporary files.
#pragma once

#include <string>

namespace zt::platform {

// Full path of the running executable (from /proc/self/exe); empty if unknown.
std::string executablePath();

// Directory of the running executable, without a trailing "/".
std::string executableDirectory();

// File name of the executable without directory and without the text from the last "." on.
std::string programBaseName();


// Creates a directory and its parents (like mkdir -p); true when it exists afterwards.
bool makeDirectories(const std::string &strPath);

} // namespace zt::platform
