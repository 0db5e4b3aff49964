// Arbitrary messages through ztsi's receive path, as busline's receive callback hands them: the
// first eight bytes are the sn and the type, the rest is the topic up to the first zero byte and
// the payload after it. The instance's session never connects (nothing listens on its port), so
// announcements, reports, test cases and answers are all handled without a broker. Every text
// and byte handed to a callback is read in full.
#include "channel.h"
#include "ztda_impl.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char kNoBroker[] = "127.0.0.1:1";
// The registries keep every announced device, so the instance is renewed now and then.
constexpr int kRunsPerInstance = 2000;
constexpr int kWaitingSn = 7;

volatile size_t g_nSink = 0;

void readAll(const char *pstrDevId, const void *pData, size_t nLen) {
  if (pstrDevId != nullptr) {
    g_nSink = g_nSink + strlen(pstrDevId);
  }
  const auto *pBytes = static_cast<const unsigned char *>(pData);
  for (size_t i = 0; i < nLen; ++i) {
    g_nSink = g_nSink + pBytes[i];
  }
}

void onFound(const char *pstrDevId, int, const DeviceInfo *pInfo, void *) {
  readAll(pstrDevId, pInfo, sizeof(DeviceInfo));
}

void onData(const char *pstrDevId, int, const char *pData, int nLen, void *) {
  readAll(pstrDevId, pData, nLen > 0 ? static_cast<size_t>(nLen) : 0);
}

void receive(zt::si::ZtdaImpl &impl, const std::string &strTopic, const std::vector<char> &vecPayload,
             uint32_t uSn, int32_t nType) {
  zt::si::Channel::onMessage(strTopic.c_str(), vecPayload.empty() ? nullptr : vecPayload.data(),
                         static_cast<int>(vecPayload.size()), 1, 0, uSn, nType, "", &impl.channel());
}

// An instance that knows the root device "F1" and has sent it a request that waits for its answer.
std::unique_ptr<zt::si::ZtdaImpl> freshInstance() {
  auto pImpl = std::make_unique<zt::si::ZtdaImpl>(0);
  if (pImpl->init(kNoBroker, &onFound, nullptr) != 0) {
    std::abort();
  }
  pImpl->setStatusCallback(&onData);
  pImpl->setDataCallback(&onData);
  pImpl->setEventCallback(&onData);
  DeviceInfo info;
  memset(&info, 0, sizeof(info));
  strcpy(info.id, "F1");
  strcpy(info.pid, "0");
  info.vdt = 16;
  std::vector<char> vecRecord(reinterpret_cast<const char *>(&info),
                              reinterpret_cast<const char *>(&info + 1));
  receive(*pImpl, "ZTDM/UP/DEV/0/16/F1/FindDevices", vecRecord, 1, 1);
  pImpl->getParam("F1", kWaitingSn, &onData);
  return pImpl;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
  static std::unique_ptr<zt::si::ZtdaImpl> pImpl;
  static int nRuns = 0;
  if (!pImpl || ++nRuns % kRunsPerInstance == 0) {
    pImpl.reset();
    pImpl = freshInstance();
  }
  if (nSize < 8 || nSize > (1u << 20)) {
    return 0;
  }
  uint32_t uSn = 0;
  int32_t nType = 0;
  memcpy(&uSn, pData, sizeof(uSn));
  memcpy(&nType, pData + 4, sizeof(nType));
  const char *pRest = reinterpret_cast<const char *>(pData) + 8;
  const char *pEnd = reinterpret_cast<const char *>(pData) + nSize;
  const char *pZero = static_cast<const char *>(memchr(pRest, 0, pEnd - pRest));
  std::string strTopic(pRest, pZero != nullptr ? pZero : pEnd);
  // An exact-size copy, so that reading past the payload is caught.
  std::vector<char> vecPayload(pZero != nullptr ? pZero + 1 : pEnd, pEnd);
  receive(*pImpl, strTopic, vecPayload, uSn, nType);
  return 0;
}
