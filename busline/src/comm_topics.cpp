#include "comm_topics.h"

#include <cstring>
#include <vector>

#include "local_api_support.h"

namespace zt::bus {

namespace {

constexpr const char *kPointToPointPrefix = "nm/local/comm/pp/";
constexpr const char *kBroadcastPrefix = "nm/local/comm/bc/";

// Every level of the topic, empty ones included.
std::vector<std::string> topicLevels(const std::string &strTopic) {
  std::vector<std::string> vecLevels;
  size_t nStart = 0;
  for (;;) {
    size_t nSlash = strTopic.find('/', nStart);
    vecLevels.push_back(strTopic.substr(nStart, nSlash - nStart));
    if (nSlash == std::string::npos) {
      return vecLevels;
    }
    nStart = nSlash + 1;
  }
}

// The message id and sender at the given 1-based levels, when the topic has that many.
CommTopicIds idsAt(const std::string &strTopic, size_t nMsgIdLevel, size_t nSourceLevel) {
  CommTopicIds ids;
  std::vector<std::string> vecLevels = topicLevels(strTopic);
  if (vecLevels.size() >= nSourceLevel) {
    ids.strMsgId = vecLevels[nMsgIdLevel - 1].substr(0, kCommIdMaxLen);
    ids.strSourceAppId = vecLevels[nSourceLevel - 1].substr(0, kCommIdMaxLen);
  }
  return ids;
}

} // namespace

bool validCommId(const char *pstrId) {
  return textLengthWithin(pstrId, kCommIdMaxLen) && std::strpbrk(pstrId, "/+#") == nullptr;
}

std::string commPointToPointTopic(const std::string &strToAppId, const std::string &strMsgId,
                                  const std::string &strFromAppId) {
  return kPointToPointPrefix + strToAppId + "/" + strMsgId + "/" + strFromAppId;
}

std::string commPointToPointSubscription(const std::string &strOwnAppId, const std::string &strMsgId) {
  return kPointToPointPrefix + strOwnAppId + "/" + strMsgId + "/+";
}

std::string commBroadcastTopic(const std::string &strMsgId, const std::string &strFromAppId) {
  return kBroadcastPrefix + strMsgId + "/" + strFromAppId;
}

std::string commBroadcastSubscription(const std::string &strMsgId) {
  return kBroadcastPrefix + strMsgId + "/+";
}

CommTopicIds parseCommTopic(const char *pstrTopic) {
  std::string strTopic = pstrTopic != nullptr ? pstrTopic : "";
  if (strTopic.find(kPointToPointPrefix) != std::string::npos) {
    return idsAt(strTopic, 6, 7);
  }
  if (strTopic.find(kBroadcastPrefix) != std::string::npos) {
    return idsAt(strTopic, 5, 6);
  }
  return CommTopicIds();
}

} // namespace zt::bus
