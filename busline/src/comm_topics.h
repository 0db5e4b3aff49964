// Topics of the local comm API: point to point "nm/local/comm/pp/<to>/<message id>/<from>"
// and broadcast "nm/local/comm/bc/<message id>/<from>".
#pragma once

#include <string>

namespace zt::bus {

constexpr size_t kCommIdMaxLen = 36;

// An application or message id: 1 to 36 characters, none of them "/", "+" or "#" (each id is
// exactly one topic level).
bool validCommId(const char *pstrId);

std::string commPointToPointTopic(const std::string &strToAppId, const std::string &strMsgId,
                                  const std::string &strFromAppId);
// What an application subscribes to for a message id sent to it by anyone.
std::string commPointToPointSubscription(const std::string &strOwnAppId, const std::string &strMsgId);
std::string commBroadcastTopic(const std::string &strMsgId, const std::string &strFromAppId);
std::string commBroadcastSubscription(const std::string &strMsgId);

struct CommTopicIds {
  std::string strMsgId;       // empty when the topic has too few levels
  std::string strSourceAppId; // likewise
};

// The message id and the sender of a received topic, each cut to 36 characters.
CommTopicIds parseCommTopic(const char *pstrTopic);

} // namespace zt::bus
