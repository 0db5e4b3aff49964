// MQTT 5 user properties "SN", "TYPE", "RESPONSETOPIC" and "SOURCEIPLIST": writing them
// for a publish or a will, and finding them in a received property list.
#pragma once

#include <cstdint>
#include <mosquitto.h>
#include <string>

namespace busline {

// Adds one user property; returns the library's result code.
int addUserProperty(mosquitto_property **ppProps, const char *pstrName, const std::string &strValue);
int addUserProperty(mosquitto_property **ppProps, const char *pstrName, int64_t nValue);

// Finds the first user property with this exact name. The integer form parses decimal
// text with an optional sign; text that is not a number gives 0.
bool findUserProperty(const mosquitto_property *pProps, const char *pstrName, std::string &strValue);
bool findUserProperty(const mosquitto_property *pProps, const char *pstrName, int64_t &nValue);

// Builds SN, TYPE, RESPONSETOPIC (when non-empty) and SOURCEIPLIST (when non-empty).
// A property that cannot be added is logged as "<pstrOperation>,setProperty(<name>) fail,..."
// and left out; the caller owns the list.
mosquitto_property *buildMessageProperties(const char *pstrOperation, uint32_t uSN, int32_t nType,
                                           const char *pstrResponseTopic, const std::string &strIpList);

} // namespace busline
