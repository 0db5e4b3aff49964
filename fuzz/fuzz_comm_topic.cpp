// Arbitrary received topics through the comm API's topic reader: the ids it yields are at
// most 36 characters, and a topic it builds from valid ids reads back as the same ids.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "comm_topics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
  if (nSize > 4096) {
    return 0;
  }
  std::string strTopic(reinterpret_cast<const char *>(pData), nSize);
  zt::bus::CommTopicIds ids = zt::bus::parseCommTopic(strTopic.c_str());
  if (ids.strMsgId.size() > zt::bus::kCommIdMaxLen || ids.strSourceAppId.size() > zt::bus::kCommIdMaxLen) {
    std::abort();
  }
  // Split the input into two candidate ids and check the round trip of the topics built from them.
  size_t nHalf = strTopic.size() / 2;
  std::string strMsgId = strTopic.substr(0, nHalf).c_str();
  std::string strAppId = strTopic.substr(nHalf).c_str();
  if (zt::bus::validCommId(strMsgId.c_str()) && zt::bus::validCommId(strAppId.c_str())) {
    for (const std::string &strBuilt : {zt::bus::commPointToPointTopic("dest", strMsgId, strAppId),
                                        zt::bus::commBroadcastTopic(strMsgId, strAppId)}) {
      zt::bus::CommTopicIds back = zt::bus::parseCommTopic(strBuilt.c_str());
      if (back.strMsgId != strMsgId || back.strSourceAppId != strAppId) {
        std::abort();
      }
    }
  }
  return 0;
}
