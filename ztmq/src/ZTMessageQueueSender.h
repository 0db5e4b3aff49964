// All outgoing traffic of one task: a connected dealer per destination (or proxy), kept while
// it reaches the address configured for that id, and the messages sent through them. Sends are
// serialised, so the task's messages leave in call order.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dealer.h"

namespace zt::mq {

class ZTMessageQueueSender {
public:
  // strOwnAddr: where the task receives, given to receivers as the reply address (empty for a
  // task without receiver).
  explicit ZTMessageQueueSender(std::string strOwnAddr) : m_strOwnAddr(std::move(strOwnAddr)) {}

  // Sends from the task strSource to strDest, through the proxy configured for strDest if any.
  int send_v2(const std::string &strSource, const std::string &strDest, const char *pData, int nLength, int nSn);
  // Sends directly to strDest on behalf of strSource; replies to strSource will come to this task.
  int send_phony_send(const std::string &strOwnId, const std::string &strSource, const std::string &strDest,
                      const char *pData, int nLength, int nSn);

private:
  // The dealer that reaches strId now; null with the error (-4 for an in-process name nobody
  // has bound) otherwise. Called with the lock held.
  dealer *getSender(const std::string &strId, int &nError);
  // Whether the dealer cached for strId reaches a peer that takes messages now.
  bool probe(const std::string &strId, dealer &sender);

  const std::string m_strOwnAddr;
  std::mutex m_mutex;
  std::map<std::string, std::unique_ptr<dealer>> m_mapSenders;
  std::vector<uint8_t> m_vecEncoded; // header and payload of a message sent on behalf of another task
};

} // namespace zt::mq
