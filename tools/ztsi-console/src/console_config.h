// The broker address of the console, from "ztsiconfig.txt" in the working directory or asked
// on the console.
#pragma once

#include <cstdio>
#include <string>

namespace zt::console {

constexpr const char *kConsoleConfigFile = "ztsiconfig.txt";
constexpr int kDefaultBrokerPort = 1883;

// "host:port" from a host line and a port line; a port below 1 (or unreadable) means 1883.
std::string brokerAddress(const std::string &strHost, const std::string &strPort);

// Line 1 the host (at most 255 characters), line 2 the port (at most 9).
std::string readBrokerAddress(std::FILE *pFile);

// Asks host and port on the console (prompts on stdout, answers from pInput).
std::string askBrokerAddress(std::FILE *pInput);

} // namespace zt::console
