#include "site_application.h"

#include <json/reader.h>

#include <cstring>
#include <memory>

namespace zt::test {

namespace {

std::string textOf(const char *pData, int nLen) {
  return pData != nullptr && nLen > 0 ? std::string(pData, static_cast<size_t>(nLen)) : std::string();
}

// The response object's members; a text that is not one leaves them empty (the test then
// shows the text).
Answer answerOf(const char *pstrDevId, const std::string &strText) {
  Answer answer;
  answer.strDevId = pstrDevId != nullptr ? pstrDevId : "";
  answer.strText = strText;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> pReader(builder.newCharReader());
  Json::Value jsonAnswer;
  if (pReader->parse(strText.data(), strText.data() + strText.size(), &jsonAnswer, nullptr) &&
      jsonAnswer.isObject()) {
    answer.nCmd = jsonAnswer["cmd"].asInt();
    answer.nCode = jsonAnswer["code"].asInt();
    answer.strDesc = jsonAnswer["desc"].asString();
  }
  return answer;
}

} // namespace

bool SiteApplication::start(int nBrokerPort) {
  std::string strAddress = "127.0.0.1:" + std::to_string(nBrokerPort);
  m_pHandle = ztsi_Create(strAddress.c_str(), &SiteApplication::onFound, this);
  if (m_pHandle == nullptr) {
    return false;
  }
  ztsi_SetDataCallback(m_pHandle, &SiteApplication::onData);
  ztsi_SetStatusCallback(m_pHandle, &SiteApplication::onStatus);
  ztsi_SetEventCallback(m_pHandle, &SiteApplication::onEvent);
  return true;
}

void SiteApplication::stop() {
  if (m_pHandle != nullptr) {
    ztsi_Destory(m_pHandle);
    m_pHandle = nullptr;
  }
}

int SiteApplication::timesFound(const std::string &strDevId) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapFound.find(strDevId);
  return it == m_mapFound.end() ? 0 : it->second;
}

std::optional<DeviceInfo> SiteApplication::foundDevice(const std::string &strDevId) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapDevices.find(strDevId);
  return it == m_mapDevices.end() ? std::nullopt : std::optional<DeviceInfo>(it->second);
}

bool SiteApplication::waitFound(const std::string &strDevId, int nTimes, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return m_mapFound[strDevId] >= nTimes; });
}

int SiteApplication::findDevices() {
  return ztsi_FindDevices(m_pHandle, "all", 0, nullptr);
}

int SiteApplication::setParam(const std::string &strDevId, int nSn, const std::string &strData) {
  return ztsi_SetParam(m_pHandle, strDevId.c_str(), nSn, strData.data(), static_cast<int>(strData.size()),
                       &SiteApplication::onAnswer);
}

int SiteApplication::getParam(const std::string &strDevId, int nSn) {
  return ztsi_GetParam(m_pHandle, strDevId.c_str(), nSn, &SiteApplication::onAnswer);
}

int SiteApplication::ctrl(const std::string &strDevId, int nSn, const std::string &strData) {
  return ztsi_Ctrl(m_pHandle, strDevId.c_str(), nSn, strData.data(), static_cast<int>(strData.size()),
                   &SiteApplication::onAnswer);
}

int SiteApplication::qryStatus(const std::string &strDevId, int nSn) {
  return ztsi_QryStatus(m_pHandle, strDevId.c_str(), nSn, &SiteApplication::onAnswer);
}

std::optional<Answer> SiteApplication::answer(int nSn) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapAnswers.find(nSn);
  return it == m_mapAnswers.end() ? std::nullopt : std::optional<Answer>(it->second);
}

std::optional<Answer> SiteApplication::waitAnswer(int nSn, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (!m_changed.wait_for(lock, timeout, [&] { return m_mapAnswers.count(nSn) != 0; })) {
    return std::nullopt;
  }
  return m_mapAnswers[nSn];
}

std::optional<Report> SiteApplication::report(ReportKind kind, const std::string &strData) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const Report &report : m_vecReports) {
    if (report.kind == kind && report.strData == strData) {
      return report;
    }
  }
  return std::nullopt;
}

std::optional<Report> SiteApplication::waitReport(ReportKind kind, const std::string &strData,
                                                  std::chrono::milliseconds timeout) {
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, timeout, [&] {
      for (const Report &report : m_vecReports) {
        if (report.kind == kind && report.strData == strData) {
          return true;
        }
      }
      return false;
    });
  }
  return report(kind, strData);
}

void SiteApplication::onFound(const char *, int, const DeviceInfo *pInfo, void *pUserData) {
  auto *pApp = static_cast<SiteApplication *>(pUserData);
  if (pInfo == nullptr) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(pApp->m_mutex);
    std::string strId(pInfo->id, strnlen(pInfo->id, sizeof pInfo->id));
    ++pApp->m_mapFound[strId];
    pApp->m_mapDevices[strId] = *pInfo;
  }
  pApp->m_changed.notify_all();
}

void SiteApplication::onAnswer(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  auto *pApp = static_cast<SiteApplication *>(pUserData);
  {
    std::lock_guard<std::mutex> lock(pApp->m_mutex);
    pApp->m_mapAnswers[nSn] = answerOf(pstrDevId, textOf(pData, nLen));
  }
  pApp->m_changed.notify_all();
}

void SiteApplication::addReport(ReportKind kind, const char *pstrDevId, int nSn, const char *pData,
                                int nLen) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecReports.push_back({kind, pstrDevId != nullptr ? pstrDevId : "", nSn, textOf(pData, nLen)});
  }
  m_changed.notify_all();
}

void SiteApplication::onData(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  static_cast<SiteApplication *>(pUserData)->addReport(ReportKind::Data, pstrDevId, nSn, pData, nLen);
}

void SiteApplication::onStatus(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  static_cast<SiteApplication *>(pUserData)->addReport(ReportKind::Status, pstrDevId, nSn, pData, nLen);
}

void SiteApplication::onEvent(const char *pstrDevId, int nSn, const char *pData, int nLen, void *pUserData) {
  static_cast<SiteApplication *>(pUserData)->addReport(ReportKind::Event, pstrDevId, nSn, pData, nLen);
}

} // namespace zt::test
