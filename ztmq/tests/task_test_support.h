// Collects what tasks receive, through the public callbacks, for the tests to wait on and check.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "ztmq.h"

namespace zt::mq::test {

struct Received {
  std::string strSource;
  std::string strData;
  int nSn = 0;
  // Only from the extended callback:
  bool bExtended = false;
  int nInfoSn = 0;
  std::string strSrcAddr;
  std::string strDest;
  std::string strProxy; // empty when the record had none
  bool bHasProxy = false;
};

class Recorder {
public:
  // Pass the recorder as the user value of these callbacks.
  static void onMessage(const char *pstrSource, const char *pData, int nSize, int nSn, void *pUser);
  static void onMessageEx(const char *pstrSource, const char *pData, int nSize, void *pUser,
                          const ZtmqRecvInfo *pInfo);

  void add(Received received);
  std::vector<Received> messages();
  size_t count();
  // True once at least nCount messages arrived within the time-out.
  bool waitForCount(size_t nCount, std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
  std::mutex m_mutex;
  std::condition_variable m_cvAdded;
  std::vector<Received> m_vecMessages;
};

// Destroys the named tasks at the end of a test. Declare it after the recorders that their
// callbacks use, so that no callback runs into a recorder that is gone.
class Tasks {
public:
  ~Tasks();
  // Returns the id as text for the call that creates the task.
  const char *add(const std::string &strId);

private:
  std::vector<std::string> m_vecIds;
};

// Bytes that differ with the position and the seed, so that a shifted or cut payload shows.
std::string pattern(size_t nSize, int nSeed);

// An id no other test of the process uses ("<stem>_<n>").
std::string uniqueId(const std::string &strStem);

} // namespace zt::mq::test
