#include "ZTMessageQueueSender.h"

#include <cstring>

#include "ZTMQConfig.h"
#include "inproc_endpoints.h"
#include "message_codec.h"
#include "task_address.h"
#include "ztmq_log.h"

namespace zt::mq {

namespace {

// -5 for an id the header cannot hold, -6 for an empty destination.
int checkIds(const std::string &strSource, const std::string &strDest) {
  if (strDest.empty()) {
    ZTMQ_LOG_ERROR("send dest is empty,source:%s.", strSource.c_str());
    return -6;
  }
  if (strSource.size() > kMaxIdLength || strDest.size() > kMaxIdLength) {
    ZTMQ_LOG_ERROR("send id length should be less than %d! source:%s,dest:%s.", int(kMaxIdLength) + 1,
                   strSource.c_str(), strDest.c_str());
    return -5;
  }
  return 0;
}

} // namespace

// The reachability probe: an empty message, which only a connected peer that takes messages
// accepts within the send time-out (receivers drop it). A dealer whose connection never came
// about has nothing queued and is dropped, so that the next send tries a new connection.
bool ZTMessageQueueSender::probe(const std::string &strId, dealer &sender) {
  if (!sender.awaitConnection()) {
    m_mapSenders.erase(strId);
    return false;
  }
  return sender.trysend("", 0, false) == 0;
}

dealer *ZTMessageQueueSender::getSender(const std::string &strId, int &nError) {
  std::string strAddr = ZTMQConfig::instance().getAddr(strId);
  auto it = m_mapSenders.find(strId);
  if (it != m_mapSenders.end()) {
    dealer &cached = *it->second;
    if (cached.serverAddr() == strAddr && !cached.peerBindingChanged()) {
      return &cached;
    }
    ZTMQ_LOG_DEBUG("getSender modify id:%s,addr:%s.\n", strId.c_str(), strAddr.c_str());
    m_mapSenders.erase(it);
  } else {
    ZTMQ_LOG_DEBUG("getSender don't find a sender by id=%s,addr:%s,then new a sender(new dealer)", strId.c_str(),
                   strAddr.c_str());
  }
  if (!isTcpAddress(strAddr) && InprocEndpoints::instance().serialOf(strAddr) == 0) {
    ZTMQ_LOG_ERROR("getSender no task of this process is bound at id:%s,addr:%s.", strId.c_str(), strAddr.c_str());
    nError = -4;
    return nullptr;
  }
  auto pSender = std::make_unique<dealer>();
  int nRet = pSender->connect(strId, strAddr);
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("getSender connect error,new id:%s,addr:%s,nRet:%d.\n", strId.c_str(), strAddr.c_str(), nRet);
    nError = nRet;
    return nullptr;
  }
  dealer *pConnected = pSender.get();
  m_mapSenders[strId] = std::move(pSender);
  return pConnected;
}

int ZTMessageQueueSender::send_v2(const std::string &strSource, const std::string &strDest, const char *pData,
                                  int nLength, int nSn) {
  int nRet = checkIds(strSource, strDest);
  if (nRet != 0) {
    return nRet;
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string strProxy = ZTMQConfig::instance().getProxy(strDest);
  if (!strProxy.empty()) {
    ZTMQ_LOG_DEBUG("send_v2 use proxy sender,proxy:%s,dest:%s,source:%s,length:%d,sn:%d.", strProxy.c_str(),
                   strDest.c_str(), strSource.c_str(), nLength, nSn);
  } else {
    ZTMQ_LOG_DEBUG("send_v2 use dest sender,dest:%s,source:%s,length:%d,sn:%d.", strDest.c_str(), strSource.c_str(),
                   nLength, nSn);
  }
  const std::string &strVia = strProxy.empty() ? strDest : strProxy;
  dealer *pSender = getSender(strVia, nRet);
  if (pSender == nullptr) {
    ZTMQ_LOG_ERROR("send_v2 NO SENDER error,nErrorNo:%d,dest:%s,source:%s,length:%d,sn:%d.", nRet, strDest.c_str(),
                   strSource.c_str(), nLength, nSn);
    return nRet;
  }
  if (!probe(strVia, *pSender)) {
    ZTMQ_LOG_ERROR("sendZero failed, can not reach nRet:%d,source:%s,dest:%s[%s],length:%d,sn:%d.\n DATA: not print\n",
                   -4, strSource.c_str(), strVia.c_str(), ZTMQConfig::instance().getAddr(strVia).c_str(), nLength,
                   nSn);
    return -4;
  }
  uint8_t arrHeader[kHeaderSize];
  encodeHeader(arrHeader, m_strOwnAddr, strSource, strDest, nSn);
  nRet = pSender->trysend(arrHeader, kHeaderSize, nLength > 0);
  if (nRet == 0 && nLength > 0) {
    nRet = pSender->trysend(pData, size_t(nLength), false);
  }
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("send_v2 trysend error nRet:%d,source:%s[%s]->dest:%s[%s],length:%d,sn:%d.data: not print...",
                   nRet, strSource.c_str(), m_strOwnAddr.c_str(), strVia.c_str(), pSender->serverAddr().c_str(),
                   nLength, nSn);
    return nRet;
  }
  ZTMQ_LOG_DEBUG("send_v2 trysend ok %s[%s] --> %s[%s] ,length:%d, sn:%d. data: not print...", strSource.c_str(),
                 m_strOwnAddr.c_str(), strVia.c_str(), pSender->serverAddr().c_str(), nLength, nSn);
  return 0;
}

int ZTMessageQueueSender::send_phony_send(const std::string &strOwnId, const std::string &strSource,
                                          const std::string &strDest, const char *pData, int nLength, int nSn) {
  int nRet = checkIds(strSource, strDest);
  if (nRet != 0) {
    return nRet;
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  dealer *pSender = getSender(strDest, nRet);
  if (pSender == nullptr) {
    ZTMQ_LOG_ERROR("send_phony_send getSender error,nErrorNo:%d,source:%s->dest:%s[%s],length:%d,sn:%d. DATA: not "
                   "print....\n",
                   nRet, strSource.c_str(), strDest.c_str(), ZTMQConfig::instance().getAddr(strDest).c_str(), nLength,
                   nSn);
    return nRet;
  }
  if (!probe(strDest, *pSender)) {
    ZTMQ_LOG_ERROR("send_phony_send sendZero error, can not reach nRet:%d,source:%s->dest:%s[%s],length:%d,sn:%d. "
                   "DATA: not print\n",
                   -4, strSource.c_str(), strDest.c_str(), ZTMQConfig::instance().getAddr(strDest).c_str(), nLength,
                   nSn);
    return -4;
  }
  // One part: the header naming the other task as source, then the payload.
  size_t nTotal = kHeaderSize + size_t(nLength);
  if (m_vecEncoded.size() < nTotal) {
    m_vecEncoded.resize(nTotal);
  }
  encodeHeader(m_vecEncoded.data(), m_strOwnAddr, strSource, strDest, nSn);
  if (nLength > 0) {
    std::memcpy(m_vecEncoded.data() + kHeaderSize, pData, size_t(nLength));
  }
  nRet = pSender->trysend(m_vecEncoded.data(), nTotal, false);
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("send_phony_send trysend error nRet:%d,phony:%s,source:%s[%s]->dest:%s[%s],length:%d,sn:%d.", nRet,
                   strOwnId.c_str(), strSource.c_str(), m_strOwnAddr.c_str(), strDest.c_str(),
                   pSender->serverAddr().c_str(), nLength, nSn);
    return nRet;
  }
  ZTMQ_LOG_DEBUG("send_phony_send trysend ok phony:%s,source:%s[%s]->dest:%s[%s],length:%d,sn:%d.", strOwnId.c_str(),
                 strSource.c_str(), m_strOwnAddr.c_str(), strDest.c_str(), pSender->serverAddr().c_str(), nLength,
                 nSn);
  return 0;
}

} // namespace zt::mq
