// MQTT 5 user properties "SN", "TYPE", "RESPONSETOPIC" and "SOURCEIPLIST": writing them
// for a publish or a will, and reading them from a received property list.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mosquitto.h>
#include <string>

namespace zt::bus {

// Adds one user property; returns the library's result code.
int addUserProperty(mosquitto_property **ppProps, const char *pstrName, const std::string &strValue);
int addUserProperty(mosquitto_property **ppProps, const char *pstrName, int64_t nValue);

// A value text allocated by the library, released with free().
struct LibraryTextFree {
  void operator()(char *pstr) const { std::free(pstr); }
};
using LibraryText = std::unique_ptr<char, LibraryTextFree>;

// The values of the four user properties; null where absent. Names match exactly and the
// first property of a name counts.
struct MessageProperties {
  LibraryText pstrSN;
  LibraryText pstrType;
  LibraryText pstrResponseTopic;
  LibraryText pstrIpList;
};

// Reads the list in one pass, taking only the values of the four names.
void readMessageProperties(const mosquitto_property *pProps, MessageProperties &props);

// Decimal text with an optional sign as an integer; text that is not a number gives 0.
int64_t propertyNumber(const char *pstrValue);

// Builds SN, TYPE, RESPONSETOPIC (when non-empty) and SOURCEIPLIST (when non-empty).
// A property that cannot be added is logged as "<pstrOperation>,setProperty(<name>) fail,..."
// and left out; the caller owns the list.
mosquitto_property *buildMessageProperties(const char *pstrOperation, uint32_t uSN, int32_t nType,
                                           const char *pstrResponseTopic, const std::string &strIpList);

} // namespace zt::bus
