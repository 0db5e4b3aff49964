// The checks topicbus applies to the addresses and texts it is given.
#pragma once

#include <cstddef>

namespace zt::tb {

// Longest session id, user name, password, will topic, topic and response topic.
constexpr size_t kMaxTextLength = 128;

// Digits and dots only, not starting with a dot, exactly three dots, every number at most
// 255 (an empty number counts as 0): "1..2.3" passes, "1.2.3", ".1.2.3" and host names fail.
bool isDottedIpv4(const char *pstrIP);
bool isValidPort(int nPort);
// Null or at most kMaxTextLength characters.
bool fitsTextLimit(const char *pstrText);
// Non-null, 1 to kMaxTextLength characters.
bool isValidTopic(const char *pstrTopic);

} // namespace zt::tb
