#include "observing_application.h"

#include <cstring>
#include <sstream>

namespace zt::test {
namespace {

std::string text(const char *pData, int nLen) {
  return pData != nullptr && nLen > 0 ? std::string(pData, static_cast<size_t>(nLen)) : std::string();
}

} // namespace

ObservingApplication::ObservingApplication(int nPort) {
  std::string strAddress = "127.0.0.1:" + std::to_string(nPort);
  m_pHandle = ztsi_Create(strAddress.c_str(), &ObservingApplication::onFound, this);
  ztsi_SetStatusCallback(m_pHandle, &ObservingApplication::onStatus);
  ztsi_SetDataCallback(m_pHandle, &ObservingApplication::onData);
  ztsi_SetEventCallback(m_pHandle, &ObservingApplication::onEvent);
}

ObservingApplication::~ObservingApplication() {
  ztsi_Destory(m_pHandle);
}

std::vector<DeviceInfo> ObservingApplication::found(const std::string &strDevId) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapFound.find(strDevId);
  return it == m_mapFound.end() ? std::vector<DeviceInfo>() : it->second;
}

std::vector<Delivery> ObservingApplication::reports(const std::string &strKind) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_mapReports[strKind];
}

bool ObservingApplication::waitUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout) {
  // pred takes the mutex itself, so the wait is short and repeated rather than exact.
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cvChanged.wait_for(lock, std::chrono::milliseconds(10));
  }
  return true;
}

void ObservingApplication::clearReports() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_mapReports.clear();
}

std::optional<Answer> ObservingApplication::setParam(const std::string &strDevId,
                                                     const std::string &strData) {
  return request([&](int nSn) {
    return ztsi_SetParam(m_pHandle, strDevId.c_str(), nSn, strData.c_str(), static_cast<int>(strData.size()),
                         &ObservingApplication::onAnswer);
  });
}

std::optional<Answer> ObservingApplication::getParam(const std::string &strDevId) {
  return request([&](int nSn) { return ztsi_GetParam(m_pHandle, strDevId.c_str(), nSn, &onAnswer); });
}

std::optional<Answer> ObservingApplication::ctrl(const std::string &strDevId, const std::string &strData) {
  return request([&](int nSn) {
    return ztsi_Ctrl(m_pHandle, strDevId.c_str(), nSn, strData.c_str(), static_cast<int>(strData.size()),
                     &ObservingApplication::onAnswer);
  });
}

std::optional<Answer> ObservingApplication::qryStatus(const std::string &strDevId) {
  return request([&](int nSn) { return ztsi_QryStatus(m_pHandle, strDevId.c_str(), nSn, &onAnswer); });
}

std::optional<Answer> ObservingApplication::request(const std::function<int(int)> &send) {
  int nSn = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    nSn = ++m_nNextSn;
  }
  if (send(nSn) != 0) {
    return std::nullopt;
  }
  std::string strAnswer;
  bool bAnswered = waitUntil([&] {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_mapAnswers.find(nSn);
    if (it == m_mapAnswers.end()) {
      return false;
    }
    strAnswer = it->second;
    return true;
  });
  Json::Value answer;
  std::istringstream stream(strAnswer);
  if (!bAnswered || !Json::parseFromStream(Json::CharReaderBuilder(), stream, &answer, nullptr) ||
      !answer.isObject()) {
    return std::nullopt;
  }
  return Answer{answer["code"].asInt(), answer["desc"].asString()};
}

void ObservingApplication::onFound(const char *, int, const DeviceInfo *pInfo, void *pUserData) {
  auto *pSelf = static_cast<ObservingApplication *>(pUserData);
  if (pInfo == nullptr) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(pSelf->m_mutex);
    pSelf->m_mapFound[std::string(pInfo->id, strnlen(pInfo->id, sizeof(pInfo->id)))].push_back(*pInfo);
  }
  pSelf->m_cvChanged.notify_all();
}

void ObservingApplication::onStatus(const char *pstrDevId, int nSn, const char *pData, int nLen,
                                    void *pUserData) {
  static_cast<ObservingApplication *>(pUserData)->record("status", pstrDevId, nSn, pData, nLen);
}

void ObservingApplication::onData(const char *pstrDevId, int nSn, const char *pData, int nLen,
                                  void *pUserData) {
  static_cast<ObservingApplication *>(pUserData)->record("data", pstrDevId, nSn, pData, nLen);
}

void ObservingApplication::onEvent(const char *pstrDevId, int nSn, const char *pData, int nLen,
                                   void *pUserData) {
  static_cast<ObservingApplication *>(pUserData)->record("event", pstrDevId, nSn, pData, nLen);
}

void ObservingApplication::onAnswer(const char *, int nSn, const char *pData, int nLen, void *pUserData) {
  auto *pSelf = static_cast<ObservingApplication *>(pUserData);
  {
    std::lock_guard<std::mutex> lock(pSelf->m_mutex);
    pSelf->m_mapAnswers[nSn] = text(pData, nLen);
  }
  pSelf->m_cvChanged.notify_all();
}

void ObservingApplication::record(const std::string &strKind, const char *pstrDevId, int nSn,
                                  const char *pData, int nLen) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mapReports[strKind].push_back(Delivery{pstrDevId != nullptr ? pstrDevId : "", nSn, text(pData, nLen)});
  }
  m_cvChanged.notify_all();
}

} // namespace zt::test
