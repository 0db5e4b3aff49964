#include "ztdm_impl.h"

#include "broker_address.h"
#include "command_code.h"
#include "device_info_text.h"
#include "response_object.h"
#include "run_model.h"
#include "topic.h"
#include "ztdm_guard.h"
#include "ztdm_log.h"
#include "ztdm_module_info.h"

#include <cstring>
#include <exception>
#include <new>
#include <thread>

namespace zt::dm {

namespace {

constexpr int kGetParamBufferSize = 131072;
constexpr int kCtrlBufferSize = 8192;
constexpr int kQryStatusBufferSize = 8192;
// Driver results above this defer the answer; the value is the time-out in milliseconds.
constexpr int kMaxImmediateResult = 100;
// Request threads of an instance whose devices are served concurrently: at most this many
// devices can be inside an entry point at once, the others wait for a free thread.
constexpr int kConcurrentDeviceThreads = 8;

void logBanner() {
  ZtModuleInfo info;
  fillZtdmModuleInfo(&info);
  ZTDM_LOG_PROGRESS("======================= ZTDM START =======================");
  ZTDM_LOG_PROGRESS("= Type: %s", info.szModuleType);
  ZTDM_LOG_PROGRESS("= Name: %s", info.szModuleName);
  ZTDM_LOG_PROGRESS("= Version: %s", info.szVersion);
  ZTDM_LOG_PROGRESS("= Compile time : %s", info.szBuildTime);
  ZTDM_LOG_PROGRESS("===========================================================");
}

// A zeroed heap buffer, or null when it cannot be allocated.
std::unique_ptr<char[]> allocateBuffer(int nSize) {
  return std::unique_ptr<char[]>(new (std::nothrow) char[nSize]());
}

// The number of output bytes to send: what the driver reported, kept inside its buffer.
int outputLength(int nReported, int nBufferSize) {
  if (nReported < 0 || nReported > nBufferSize) {
    ZTDM_LOG_ERROR("Driver output length out of range, len=[%d] size=[%d]", nReported, nBufferSize);
    return nReported < 0 ? 0 : nBufferSize;
  }
  return nReported;
}

} // namespace

ZTDMImpl *ZTDMImpl::create(const char *pstrAddress, const InstanceOptions &options) {
  logBanner();
  protocol::BrokerAddress address;
  std::string strProblem;
  if (!protocol::parseBrokerAddress(pstrAddress, address, &strProblem)) {
    if (pstrAddress != nullptr) {
      ZTDM_LOG_ERROR("Invalid address: %s\n", pstrAddress);
    }
    ZTDM_LOG_ERROR("ztdm_Create: %s", strProblem.c_str());
    return nullptr;
  }
  ZTDMImpl *pImpl = nullptr;
  try {
    pImpl = new ZTDMImpl(options);
  } catch (const std::exception &e) {
    ZTDM_LOG_ERROR("ZTDMImpl create error: %s!", e.what());
    return nullptr;
  }
  if (pImpl->openChannel(address.strHost, address.uPort) != 0) {
    ZTDM_LOG_ERROR("Init TopicBus client error!");
    delete pImpl;
    return nullptr;
  }
  return pImpl;
}

std::atomic<int> ZTDMImpl::s_nLiveInstances{0};

void ZTDMImpl::destroy(ZTDMImpl *pImpl) {
  bool bInsideRequest = pImpl->m_requestGate.close();
  pImpl->m_pRequestQueue->close();
  pImpl->m_requestGate.waitForOtherThreads();
  if (!bInsideRequest) {
    delete pImpl;
    return;
  }
  std::thread([pImpl] { ztdmGuarded("ztdm_Destroy teardown", [&] { delete pImpl; }); }).detach();
}

ZTDMImpl::ZTDMImpl(const InstanceOptions &options) : m_bConcurrentDevices(options.bConcurrentDevices) {
  ZTDM_LOG_PROGRESS("1> create a Driver Manager");
  m_pDriverManager = std::make_unique<DriverManager>(protocol::kRunModelNormal);
  ZTDM_LOG_PROGRESS("2> create ztdm Sync Time Manager");
  m_pSyncTimeManager = std::make_unique<ztdmSyncTimeManager>(
      [this](const ResponseRecord &record, int nSn) { respond(record, nSn); }, options.timer);
  ZTDM_LOG_PROGRESS("3> create ZTDM Request Proc");
  m_pRequestQueue = std::make_unique<RequestQueue>(
      [this](const QueuedRequest &request) { handleRequest(request); },
      m_bConcurrentDevices ? kConcurrentDeviceThreads : 1, m_bConcurrentDevices);
  ZTDM_LOG_PROGRESS("----------END create ZTDMImpl--------");
  ++s_nLiveInstances;
}

ZTDMImpl::~ZTDMImpl() {
  // The request threads call the timer object, the registries and the channel, the timer thread
  // publishes and may switch the run model, and the network thread queues requests: stop them
  // in this order before any part goes away.
  m_pRequestQueue->stop();
  m_pSyncTimeManager->stop();
  if (m_pChannel) {
    m_pChannel->close();
  }
  m_pRequestQueue.reset();
  m_pSyncTimeManager.reset();
  m_pChannel.reset();
  m_pDriverManager.reset();
  --s_nLiveInstances;
}

int ZTDMImpl::openChannel(const std::string &strHost, int nPort) {
  m_pChannel.reset(new (std::nothrow) Channel(*m_pDriverManager));
  if (!m_pChannel) {
    ZTDM_LOG_ERROR("Create Channel error! Memory error");
    return -1;
  }
  m_pChannel->setRecvCallback(&ZTDMImpl::onRequest, this);
  int nRet = m_pChannel->init(strHost, nPort);
  if (nRet != 0) {
    ZTDM_LOG_ERROR("init channel error ret=%d", nRet);
    return nRet;
  }
  m_pChannel->subscribe(protocol::rootDevicesFilter(protocol::Direction::Down, protocol::kRunModelNormal));
  return 0;
}

void ZTDMImpl::registerDriver(int nVdt, const DriverCallbacks &callbacks) {
  m_pDriverManager->registerDriver(nVdt, callbacks);
  ZTDM_LOG_PROGRESS("Register Driver drvType=[%d] ret=[%d]", nVdt, 0);
}

void ZTDMImpl::registerDevice(const DeviceInfo &device) {
  std::string strId = protocol::fieldText(device.id);
  std::string strPid = protocol::fieldText(device.pid);
  ZTDM_LOG_PROGRESS("Regist Device ID=[%s] vdt=[%d] name=[%s] pid=[%s] desc=[%s] model=[%s]", strId.c_str(),
                    device.vdt, protocol::fieldText(device.name).c_str(), strPid.c_str(),
                    protocol::fieldText(device.desc).c_str(), protocol::fieldText(device.model).c_str());
  if (strPid.empty()) {
    strPid = "0";
  }
  bool bExisted = m_pDriverManager->registerDevice(device);
  if (strPid == "0" || strPid == strId) {
    std::lock_guard<std::mutex> lock(m_runModelMutex);
    m_pChannel->subscribe(protocol::childDevicesFilter(protocol::Direction::Down, m_pDriverManager->runModel(), strId));
    m_pChannel->subscribe(protocol::runModelFilter(protocol::Direction::Down, strId));
  }
  notify(strId, protocol::kCmdFindDevices, 0, reinterpret_cast<const char *>(&device), sizeof device);
  if (bExisted) {
    ZTDM_LOG_PROGRESS("Device ID=[%s] already exists, its information is overwritten with the new one",
                      strId.c_str());
  }
}

bool ZTDMImpl::report(const std::string &strDevId, int nCmd, int nSn, const char *pData, int nLength) {
  return notify(strDevId, nCmd, nSn, pData, nLength);
}

bool ZTDMImpl::regTestCase(int nVdt, const char *pData, int nLength) {
  m_pDriverManager->registerTestCase(nVdt, std::string(pData, static_cast<size_t>(nLength)));
  return m_pChannel->publishTestCase(nVdt, 0, pData, nLength);
}

bool ZTDMImpl::notify(const std::string &strDevId, int nCmd, int nSn, const char *pData, int nLength) {
  std::lock_guard<std::mutex> lock(m_runModelMutex);
  return m_pChannel->publishNotify(strDevId, nCmd, nSn, pData, nLength);
}

void ZTDMImpl::respond(const ResponseRecord &record, int nSn) {
  std::lock_guard<std::mutex> lock(m_runModelMutex);
  m_pChannel->publishResponse(record, nSn);
}

void ZTDMImpl::onRequest(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLength,
                         void *pContext) {
  auto *pImpl = static_cast<ZTDMImpl *>(pContext);
  pImpl->m_pRequestQueue->push(
      QueuedRequest{strDevId, nSn, nCmd,
                    pData != nullptr ? std::string(pData, static_cast<size_t>(nLength)) : std::string()});
}

void ZTDMImpl::handleRequest(const QueuedRequest &queued) {
  CallbackGate::Section section(m_requestGate);
  if (!section) {
    logRequestDroppedAtDestroy(queued);
    return;
  }
  bool bHasData = !queued.strData.empty();
  requestProc(Request{queued.strDevId, queued.nSn, queued.nCmd, bHasData ? queued.strData.data() : nullptr,
                      static_cast<int>(queued.strData.size())});
}

void ZTDMImpl::requestProc(const Request &request) {
  switch (request.nCmd) {
  case protocol::kCmdFindDevices:
    answerDiscovery();
    break;
  case protocol::kCmdSetParam:
    requestSetConfig(request);
    break;
  case protocol::kCmdGetParam:
    requestGetConfig(request);
    break;
  case protocol::kCmdCtrl:
    requestCtrl(request);
    break;
  case protocol::kCmdQryStatus:
    requestQryStatus(request);
    break;
  case protocol::kCmdSetRunModel:
    requestSetRunModel(request);
    break;
  case protocol::kCmdQryRunModel:
    doRunModelResponse(m_pDriverManager->runModel(), request);
    break;
  default:
    ZTDM_LOG_ERROR("ZTDMImpl->requestProc unknown cmd=%d  ", request.nCmd);
    break;
  }
  if (m_pDriverManager->runModel() == protocol::kRunModelDebug) {
    m_pSyncTimeManager->refresh();
  }
}

void ZTDMImpl::answerDiscovery() {
  for (const auto &[strDevId, device] : m_pDriverManager->devices()) {
    notify(strDevId, protocol::kCmdFindDevices, 0, reinterpret_cast<const char *>(&device), sizeof device);
  }
  for (const auto &[nVdt, strTestCase] : m_pDriverManager->testCases()) {
    m_pChannel->publishTestCase(nVdt, nVdt, strTestCase.c_str(),
                                static_cast<int>(std::strlen(strTestCase.c_str())));
  }
}

void ZTDMImpl::finishRequest(const Request &request, int nResult, const char *pData, int nLength) {
  if (nResult > kMaxImmediateResult) {
    m_pSyncTimeManager->defer(request.strDevId, request.nCmd, request.nSn, nResult);
    return;
  }
  respond(ResponseRecord{nResult, request.nCmd, request.strDevId, pData, nLength}, request.nSn);
}

void ZTDMImpl::requestSetConfig(const Request &request) {
  char szError[DriverManager::kErrorTextSize] = {0};
  int nResult =
      m_pDriverManager->setConfig(request.strDevId, request.pData, request.nLength, request.nSn, szError);
  if (nResult == 0) {
    finishRequest(request, nResult, nullptr, 0);
  } else {
    finishRequest(request, nResult, szError, static_cast<int>(std::strlen(szError)));
  }
}

void ZTDMImpl::answerWithOutput(const Request &request, const char *pstrHandler, int nBufferSize,
                                const OutputCall &fnCall) {
  std::unique_ptr<char[]> pBuffer = allocateBuffer(nBufferSize);
  if (!pBuffer) {
    ZTDM_LOG_ERROR("%s malloc buffer error.", pstrHandler);
    return;
  }
  char szError[DriverManager::kErrorTextSize] = {0};
  int nOutLen = nBufferSize;
  int nResult = fnCall(pBuffer.get(), &nOutLen, szError);
  if (nResult == 0) {
    finishRequest(request, nResult, pBuffer.get(), outputLength(nOutLen, nBufferSize));
  } else {
    finishRequest(request, nResult, szError, static_cast<int>(std::strlen(szError)));
  }
}

void ZTDMImpl::requestGetConfig(const Request &request) {
  answerWithOutput(
      request, "requestGetConfig", kGetParamBufferSize, [&](char *pOut, int *pnOutLen, char *pszError) {
        return m_pDriverManager->getConfig(request.strDevId, pOut, pnOutLen, request.nSn, pszError);
      });
}

void ZTDMImpl::requestCtrl(const Request &request) {
  answerWithOutput(request, "requestCtrl", kCtrlBufferSize, [&](char *pOut, int *pnOutLen, char *pszError) {
    return m_pDriverManager->ctrl(request.strDevId, request.pData, request.nLength, pOut, pnOutLen,
                                  request.nSn, pszError);
  });
}

void ZTDMImpl::requestQryStatus(const Request &request) {
  answerWithOutput(
      request, "requestQryStatus", kQryStatusBufferSize, [&](char *pOut, int *pnOutLen, char *pszError) {
        return m_pDriverManager->qryStatus(request.strDevId, pOut, pnOutLen, request.nSn, pszError);
      });
}

void ZTDMImpl::requestSetRunModel(const Request &request) {
  if (request.pData == nullptr || request.nLength < 1) {
    ZTDM_LOG_ERROR("SetRunModel without run model, id=[%s] sn=[%d]", request.strDevId.c_str(), request.nSn);
    return;
  }
  int nRunModel = static_cast<signed char>(request.pData[0]);
  if (changeRunModel(nRunModel)) {
    doRunModelResponse(nRunModel, request);
  }
}

bool ZTDMImpl::changeRunModel(int nRunModel) {
  std::lock_guard<std::mutex> lock(m_runModelMutex);
  if (nRunModel == m_pDriverManager->runModel()) {
    return true;
  }
  if (nRunModel != protocol::kRunModelNormal && nRunModel != protocol::kRunModelDebug) {
    ZTDM_LOG_ERROR("ZTDM Change run model failed, model=[%d] ", nRunModel);
    return false;
  }
  int nOldModel = m_pDriverManager->runModel();
  ZTDM_LOG_NOTICE("ZTDM Change running model to [%s]", protocol::runModelName(nRunModel));
  m_pDriverManager->setRunModel(nRunModel);
  // Devices without parent are reached through the root subscription of the model in force;
  // the Normal one stays for good, the Debug one follows the model.
  if (nRunModel == protocol::kRunModelDebug) {
    m_pChannel->subscribe(protocol::rootDevicesFilter(protocol::Direction::Down, protocol::kRunModelDebug));
  } else {
    m_pChannel->unsubscribe(protocol::rootDevicesFilter(protocol::Direction::Down, protocol::kRunModelDebug));
  }
  for (const auto &entry : m_pDriverManager->devices()) {
    m_pChannel->unsubscribe(protocol::childDevicesFilter(protocol::Direction::Down, nOldModel, entry.first));
    m_pChannel->subscribe(protocol::childDevicesFilter(protocol::Direction::Down, nRunModel, entry.first));
  }
  if (nRunModel == protocol::kRunModelDebug) {
    m_pSyncTimeManager->arm([this] { changeRunModel(protocol::kRunModelNormal); });
  }
  return true;
}

void ZTDMImpl::doRunModelResponse(int nRunModel, const Request &request) {
  std::string strDesc = protocol::runModelDesc(nRunModel);
  respond(
      ResponseRecord{0, request.nCmd, request.strDevId, strDesc.c_str(), static_cast<int>(strDesc.size())},
      request.nSn);
}

} // namespace zt::dm
