#include "task_test_support.h"

#include <atomic>

namespace zt::mq::test {

void Recorder::onMessage(const char *pstrSource, const char *pData, int nSize, int nSn, void *pUser) {
  Received received;
  received.strSource = pstrSource;
  received.strData.assign(pData, size_t(nSize));
  received.nSn = nSn;
  static_cast<Recorder *>(pUser)->add(std::move(received));
}

void Recorder::onMessageEx(const char *pstrSource, const char *pData, int nSize, void *pUser,
                           const ZtmqRecvInfo *pInfo) {
  Received received;
  received.strSource = pstrSource;
  received.strData.assign(pData, size_t(nSize));
  received.bExtended = true;
  received.nInfoSn = pInfo->sn;
  received.strSrcAddr = pInfo->src_addr;
  received.strDest = pInfo->dest;
  received.bHasProxy = pInfo->proxy != nullptr;
  received.strProxy = pInfo->proxy != nullptr ? pInfo->proxy : "";
  static_cast<Recorder *>(pUser)->add(std::move(received));
}

void Recorder::add(Received received) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecMessages.push_back(std::move(received));
  }
  m_cvAdded.notify_all();
}

std::vector<Received> Recorder::messages() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vecMessages;
}

size_t Recorder::count() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vecMessages.size();
}

bool Recorder::waitForCount(size_t nCount, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cvAdded.wait_for(lock, timeout, [&] { return m_vecMessages.size() >= nCount; });
}

Tasks::~Tasks() {
  for (const std::string &strId : m_vecIds) {
    ZTDestroyTask(strId.c_str());
  }
}

const char *Tasks::add(const std::string &strId) {
  m_vecIds.push_back(strId);
  return m_vecIds.back().c_str();
}

std::string pattern(size_t nSize, int nSeed) {
  std::string strData(nSize, '\0');
  for (size_t i = 0; i < nSize; ++i) {
    strData[i] = static_cast<char>((i * 7 + size_t(nSeed) * 13 + i / 251) & 0xFF);
  }
  return strData;
}

std::string uniqueId(const std::string &strStem) {
  static std::atomic<int> s_nNext{0};
  return strStem + "_" + std::to_string(++s_nNext);
}

} // namespace zt::mq::test
