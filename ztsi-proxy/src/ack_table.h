// The requests that wait for their answer from the link, each under its ack id
// ("<devId>-<answer code>-<sn>"). A waiting request is woken by its answer, by the loss of the
// client it was sent to, or by its time-out.
//
// Threads: any; wait blocks its caller only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace zt::proxy {

std::string makeAckId(const std::string &strDevId, int nAnswerCmd, int nSn);

class AckTable {
public:
  enum class Outcome { Answered, TimedOut, ClientGone };
  struct Reply {
    int nCode = 0;
    std::string strData;
  };

  // A fresh entry (replacing a waiting one of the same id) for a request sent to strClientId.
  void add(const std::string &strAckId, const std::string &strClientId);
  Outcome wait(const std::string &strAckId, std::chrono::milliseconds timeout, Reply &reply);
  // False when no request waits under the id (answered late, or never asked).
  bool receive(const std::string &strAckId, const Reply &reply);
  void remove(const std::string &strAckId);
  // Wakes every request sent to the client: it will not answer any more.
  void abandonClient(const std::string &strClientId);
  size_t size() const;

private:
  struct Entry {
    std::string strClientId;
    bool bReceived = false;
    bool bAbandoned = false;
    Reply reply;
  };
  mutable std::mutex m_mutex;
  std::condition_variable m_condition;
  std::map<std::string, Entry> m_entries;
};

} // namespace zt::proxy
