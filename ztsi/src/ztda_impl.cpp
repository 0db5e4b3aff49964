#include "ztda_impl.h"

#include "broker_address.h"
#include "call_dispatch.h"
#include "command_code.h"
#include "device_info_text.h"
#include "response_object.h"
#include "run_model.h"
#include "up_filters.h"
#include "ztsi_log.h"

#include <json/reader.h>

#include <cstring>
#include <thread>
#include <vector>

namespace zt::si {

namespace {

constexpr char kEmptyJson[] = "{}";
constexpr int kEmptyJsonLength = 2;
// The pid of a device without parent.
constexpr char kRootPid[] = "0";

} // namespace

std::atomic<int> ZtdaImpl::s_nLiveInstances{0};

ZtdaImpl::ZtdaImpl(int nRunModel, ZtsiTiming timing) : m_nRunModel(nRunModel), m_timing(timing) {
  ++s_nLiveInstances;
}

void ZtdaImpl::destroy(ZtdaImpl *pImpl) {
  bool bInsideCallback = pImpl->m_gate.close();
  pImpl->m_gate.waitForOtherThreads();
  auto teardown = [pImpl] {
    pImpl->m_gate.waitForAll();
    delete pImpl;
    ZTSI_LOG_INFO("ztsi_uninit\n");
  };
  if (!bInsideCallback) {
    teardown();
    return;
  }
  // This thread runs a callback of the instance and may be one of the threads the teardown joins
  // (busline's network thread, the delivery thread).
  std::thread(teardown).detach();
}

ZtdaImpl::~ZtdaImpl() {
  // Answer delivery stops first, so that no response callback can reach a closed channel; then the
  // session ends, so that the receive thread no longer reads the registries freed after it.
  // The registry lock is not held while a delivery thread is joined: a response callback still running
  // may send a request, and registering it takes that lock. Objects are only removed below, so the
  // pointers stay valid.
  std::vector<ZtsiCallback *> vecCallbacks;
  {
    std::lock_guard<std::mutex> lock(m_mutexCallbacks);
    for (auto &[strKey, pCallback] : m_mapCallbacks) {
      vecCallbacks.push_back(pCallback.get());
    }
  }
  for (ZtsiCallback *pCallback : vecCallbacks) {
    pCallback->stop();
  }
  // The session is closed before the channel is released: the receive thread uses m_pChannel
  // (subscriptions for announced devices) until close() has returned.
  if (m_pChannel) {
    m_pChannel->close();
  }
  m_pChannel.reset();
  m_pDmc.reset();
  --s_nLiveInstances;
}

int ZtdaImpl::init(const char *pstrAddress, ztsi_found_device_callback pFoundCallback, void *pUserData) {
  protocol::BrokerAddress address;
  std::string strProblem;
  if (!protocol::parseBrokerAddress(pstrAddress, address, &strProblem)) {
    ZTSI_LOG_ERROR("ip is invalid....");
    ZTSI_LOG_ERROR("%s", strProblem.c_str());
    return -1;
  }
  if (m_bInited) {
    return 0;
  }
  m_bInited = true;
  m_pUserData = pUserData;
  m_pFoundCallback = pFoundCallback;

  ZTSI_LOG_INFO("1 => Create DMC..");
  m_pDmc = std::make_unique<ZtsiDmc>(m_nRunModel);
  ZTSI_LOG_INFO("2 => Create Channel...");
  m_pChannel = std::make_unique<Channel>(*m_pDmc);
  ZTSI_LOG_INFO("3 => Set Receive Callback...");
  m_pChannel->setRecvCallback(&ZtdaImpl::onChannelMessage, this);
  ZTSI_LOG_INFO("4 => Channel init...");
  if (m_pChannel->init(address.strHost, address.uPort) != 0) {
    ZTSI_LOG_ERROR("init channel error");
    return -1;
  }

  ZTSI_LOG_INFO("4 => Subscribe device registe...");
  for (const std::string &strFilter : answerAndReportFilters(protocol::kRunModelNormal, kRootPid)) {
    subscribeLogged(strFilter);
  }
  subscribeLogged(announcementFilter());
  // In Debug the answers and reports of devices without parent travel on the TEST channel.
  if (m_nRunModel == protocol::kRunModelDebug) {
    for (const std::string &strFilter : answerAndReportFilters(protocol::kRunModelDebug, kRootPid)) {
      subscribeLogged(strFilter);
    }
  }
  return 0;
}

void ZtdaImpl::subscribeLogged(const std::string &strTopic) {
  int nRet = m_pChannel->subscribe(strTopic);
  ZTSI_LOG_INFO("Subscribe: %s ret=[%d]", strTopic.c_str(), nRet);
}

int ZtdaImpl::setParam(const std::string &strDevId, int nSn, const char *pData, int nLen,
                       ztsi_data_callback pCallback) {
  return request("ZtdaImpl::setParam", protocol::kCmdSetParam, strDevId, nSn, pData, nLen, pCallback);
}

int ZtdaImpl::getParam(const std::string &strDevId, int nSn, ztsi_data_callback pCallback) {
  return request("ZtdaImpl::getParam", protocol::kCmdGetParam, strDevId, nSn, kEmptyJson, kEmptyJsonLength, pCallback);
}

int ZtdaImpl::ctrl(const std::string &strDevId, int nSn, const char *pData, int nLen,
                   ztsi_data_callback pCallback) {
  return request("ZtdaImpl::ctrl", protocol::kCmdCtrl, strDevId, nSn, pData, nLen, pCallback);
}

int ZtdaImpl::qryStatus(const std::string &strDevId, int nSn, ztsi_data_callback pCallback) {
  return request("ZtdaImpl::qryStatus", protocol::kCmdQryStatus, strDevId, nSn, kEmptyJson, kEmptyJsonLength,
                 pCallback);
}

int ZtdaImpl::setDeviceModel(const std::string &strDevId, int nSn, int nRunModel,
                             ztsi_data_callback pCallback) {
  // The run model travels as a little-endian 16-bit number.
  const char szModel[2] = {static_cast<char>(nRunModel & 0xFF), static_cast<char>((nRunModel >> 8) & 0xFF)};
  return request("ZtdaImpl::setDeviceModel", protocol::kCmdSetRunModel, strDevId, nSn, szModel, sizeof(szModel),
                 pCallback);
}

int ZtdaImpl::qryDeviceModel(const std::string &strDevId, int nSn, ztsi_data_callback pCallback) {
  return request("ZtdaImpl::qryDeviceModel", protocol::kCmdQryRunModel, strDevId, nSn, kEmptyJson, kEmptyJsonLength,
                 pCallback);
}

// The pending entry exists before the request leaves, so that even the fastest answer finds it;
// it is withdrawn again when the request could not be sent.
int ZtdaImpl::request(const char *pstrMethod, int nCmd, const std::string &strDevId, int nSn,
                      const char *pData, int nLen, ztsi_data_callback pCallback) {
  ZTSI_LOG_INFO("ZTSI==> %s CurDevid=[%s] cmd=[%d] sn=[%d]", pstrMethod, strDevId.c_str(), nCmd, nSn);
  int nUseSn = nSn != 0 ? nSn : m_snCounter.nextSn();
  ZtsiCallback *pPending = nullptr;
  uint64_t uTicket = 0;
  if (pCallback != nullptr) {
    pPending = &callbackFor(kOwnerKey);
    uTicket = pPending->registerRequest(strDevId, nUseSn, pCallback, m_pUserData, nCmd);
  }
  if (!m_pChannel->publishRequest(strDevId, nCmd, nUseSn, pData, nLen)) {
    if (pPending != nullptr) {
      pPending->forgetRequest(strDevId, nUseSn, uTicket);
    }
    return 1;
  }
  return 0;
}

int ZtdaImpl::findDevices(const std::string &strDevId, int nSn) {
  int nUseSn = nSn != 0 ? nSn : m_snCounter.nextSn();
  return m_pChannel->publishRequest(strDevId, protocol::kCmdFindDevices, nUseSn, kEmptyJson, kEmptyJsonLength) ? 0 : 1;
}

int ZtdaImpl::getFoundDev(ztsi_found_device_callback pCallback) {
  std::map<std::string, FoundDevice> mapDevices = m_pDmc->snapshot();
  if (mapDevices.empty()) {
    const char szNoBody[2] = {0, 0};
    return m_pChannel->publishRequest("X", protocol::kCmdFindDevices, m_snCounter.nextSn(), szNoBody, sizeof(szNoBody))
               ? 0
               : 1;
  }
  // The outer section keeps the instance alive for the whole replay; each call takes its own, so that
  // a callback that destroys the instance ends the replay.
  CallbackGate::Section section(m_gate);
  for (auto it = mapDevices.begin(); section && pCallback != nullptr && it != mapDevices.end(); ++it) {
    CallbackGate::Section call(m_gate);
    if (!call) {
      break;
    }
    DeviceInfo devInfo = it->second.toDeviceInfo(it->first);
    pCallback(nullptr, 1, &devInfo, m_pUserData);
  }
  return 0;
}

const char *ZtdaImpl::getTestCase(int *pnLen) {
  std::lock_guard<std::mutex> lock(m_mutexTestCases);
  Json::Value jsonCases;
  Json::CharReaderBuilder readerBuilder;
  std::unique_ptr<Json::CharReader> pReader(readerBuilder.newCharReader());
  for (const auto &[strVdt, strText] : m_mapTestCases) {
    Json::Value jsonCase;
    if (!pReader->parse(strText.data(), strText.data() + strText.size(), &jsonCase, nullptr)) {
      ZTSI_LOG_INFO("TestCase for VDT=[%s] is not valid", strVdt.c_str());
      continue;
    }
    Json::Value jsonEntry(Json::objectValue);
    jsonEntry["vdt"] = strVdt;
    jsonEntry["testCase"] = jsonCase;
    jsonCases.append(jsonEntry);
  }
  m_strTestCaseText = protocol::compactJson(jsonCases);
  if (pnLen != nullptr) {
    *pnLen = static_cast<int>(m_strTestCaseText.size());
  }
  ZTSI_LOG_INFO("ZTSI==> %s TestCase len=[%d]", "ZtdaImpl::getTestCase",
                static_cast<int>(m_strTestCaseText.size()));
  return m_strTestCaseText.c_str();
}

void ZtdaImpl::onChannelMessage(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLen,
                                void *pContext) {
  static_cast<ZtdaImpl *>(pContext)->handleMessage(strDevId, nSn, nCmd, pData, nLen);
}

void ZtdaImpl::handleMessage(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLen) {
  CallbackGate::Section section(m_gate);
  if (!section) {
    return;
  }
  switch (nCmd) {
  case protocol::kCmdFindDevices:
    handleAnnouncement(strDevId, nSn, pData, nLen);
    break;
  case protocol::kCmdReportStatus:
  case protocol::kCmdReportData:
  case protocol::kCmdReportEvent:
    handleReport(strDevId, nSn, nCmd, pData, nLen);
    break;
  case protocol::kCmdRegTestCase:
    handleTestCase(strDevId, nSn, nCmd, pData, nLen);
    break;
  default:
    handleResponse(strDevId, nSn, nCmd, pData, nLen);
    break;
  }
}

void ZtdaImpl::handleAnnouncement(const std::string &strDevId, int nSn, const char *pData, int nLen) {
  if (pData == nullptr || nLen < static_cast<int>(sizeof(DeviceInfo))) {
    ZTSI_LOG_ERROR("Device announcement dropped, too short: id=[%s] sn=[%d] len=[%d]", strDevId.c_str(), nSn,
                   nLen);
    return;
  }
  // A copy, since the payload need not be aligned for the record.
  DeviceInfo devInfo;
  memcpy(&devInfo, pData, sizeof(devInfo));
  FoundDevice device = FoundDevice::fromDeviceInfo(devInfo, kOwnerKey);
  std::string strId = protocol::fieldText(device.m_szId);
  ZTSI_LOG_INFO("Regist Device ID=[%s] vdt=[%d] name=[%s] pid=[%s]", strId.c_str(), device.m_nVdt,
                protocol::fieldText(device.m_szName).c_str(), device.pid().c_str());
  m_pDmc->addDevice(device);

  // Like the device side, a device that names itself as parent counts as one without parent; else its
  // answers and reports, sent on topics under its own id, would never arrive.
  if (device.pid() == kRootPid || device.pid() == strId) {
    subscribeParent(strId);
  }
  if (m_pFoundCallback != nullptr) {
    m_pFoundCallback(strDevId.c_str(), nSn, &devInfo, m_pUserData);
  }
}

void ZtdaImpl::subscribeParent(const std::string &strId) {
  if (!isFilterLevel(strId)) {
    ZTSI_LOG_ERROR(
        "Device ID=[%s] can not stand in a topic filter, its answers and reports are not subscribed",
        strId.c_str());
    return;
  }
  for (const std::string &strFilter : answerAndReportFilters(m_nRunModel, strId)) {
    m_pChannel->subscribe(strFilter);
  }
  for (const std::string &strFilter : runModelAnswerFilters(strId)) {
    if (m_pChannel->subscribe(strFilter) != 0) {
      ZTSI_LOG_ERROR("Subscribe [%s] failed!", strFilter.c_str());
    }
  }
}

void ZtdaImpl::handleReport(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLen) {
  ZTSI_LOG_INFO("Handle report: id=[%s] cmd=[%d] sn=[%d] data_len=[%d] this=[%p]", strDevId.c_str(), nCmd,
                nSn, nLen, static_cast<void *>(this));
  ztsi_data_callback pCallback = nCmd == protocol::kCmdReportStatus ? m_pStatusCallback.load()
                                 : nCmd == protocol::kCmdReportData ? m_pDataCallback.load()
                                                          : m_pEventCallback.load();
  if (pCallback == nullptr) {
    ZTSI_LOG_ERROR("Can not find callback for cmd=[%d]", nCmd);
    return;
  }
  dispatchCall(pCallback, nCmd, strDevId.substr(0, kMaxDevIdLength).c_str(), nSn, pData, nLen, m_pUserData);
}

void ZtdaImpl::handleTestCase(const std::string &strVdt, int nSn, int nCmd, const char *pData, int nLen) {
  std::lock_guard<std::mutex> lock(m_mutexTestCases);
  m_mapTestCases[strVdt] = pData != nullptr && nLen > 0 ? std::string(pData, nLen) : std::string();
  ZTSI_LOG_INFO("TestCase: Count=[%d] Add vdt=[%s] cmd=[%d] sn=[%d] len=[%d]",
                static_cast<int>(m_mapTestCases.size()), strVdt.c_str(), nCmd, nSn, nLen);
}

void ZtdaImpl::handleResponse(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLen) {
  ZtsiCallback *pPending = findCallback(kOwnerKey);
  if (pPending == nullptr) {
    ZTSI_LOG_INFO("Can not find ZtsiCallback for %s", kOwnerKey);
    return;
  }
  pPending->storeResponse(nSn, nCmd, strDevId, pData, nLen);
}

ZtsiCallback &ZtdaImpl::callbackFor(const std::string &strOwnerKey) {
  std::lock_guard<std::mutex> lock(m_mutexCallbacks);
  std::unique_ptr<ZtsiCallback> &pCallback = m_mapCallbacks[strOwnerKey];
  if (!pCallback) {
    pCallback = std::make_unique<ZtsiCallback>(m_gate, m_timing);
  }
  return *pCallback;
}

ZtsiCallback *ZtdaImpl::findCallback(const std::string &strOwnerKey) {
  std::lock_guard<std::mutex> lock(m_mutexCallbacks);
  auto it = m_mapCallbacks.find(strOwnerKey);
  return it == m_mapCallbacks.end() ? nullptr : it->second.get();
}

} // namespace zt::si
