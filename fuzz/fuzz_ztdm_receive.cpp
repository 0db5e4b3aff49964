// Arbitrary messages through ztdm's receive callback, as busline hands them over: topic,
// payload, sn and type. An instance whose broker is never reached serves the inputs, with a
// driver table per vdt, a root device, its child, a device whose vdt has no table and one
// whose table has only GetConfig.
//
// Input: sn (4 bytes), type (4), driver result choice (1), reported output length (2),
// topic prefix choice (1), then the topic up to the first newline and the payload after it.
#include "ztdm_impl.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// What the driver entry points answer for the current input.
int g_nResult = 0;
int g_nReportedLength = 0;

int fill(char *pOut, int *pnOutLen) {
  std::memset(pOut, 'o', static_cast<size_t>(*pnOutLen < 64 ? *pnOutLen : 64));
  *pnOutLen = g_nReportedLength;
  return g_nResult;
}
int fuzzSetConfig(const DeviceInfo *, const char *pData, int nDataLen, int) {
  volatile char cSink = 0;
  for (int i = 0; i < nDataLen; ++i) {
    cSink = static_cast<char>(cSink + pData[i]);
  }
  return g_nResult;
}
int fuzzGetConfig(const DeviceInfo *, char *pOut, int *pnOutLen, int) {
  return fill(pOut, pnOutLen);
}
int fuzzCtrl(const DeviceInfo *pDevice, const char *pData, int nDataLen, char *pOut, int *pnOutLen, int nSn) {
  fuzzSetConfig(pDevice, pData, nDataLen, nSn);
  return fill(pOut, pnOutLen);
}
int fuzzQryStatus(const DeviceInfo *, char *pOut, int *pnOutLen, int) {
  return fill(pOut, pnOutLen);
}

DeviceInfo makeDevice(const char *pstrId, const char *pstrPid, int nVdt) {
  DeviceInfo device;
  std::memset(&device, 0, sizeof device);
  std::strncpy(device.id, pstrId, sizeof device.id - 1);
  std::strncpy(device.pid, pstrPid, sizeof device.pid - 1);
  device.vdt = nVdt;
  return device;
}

zt::dm::ZTDMImpl *createInstance() {
  // Port 1 has no broker; the channel stays unconnected and publishing fails quietly.
  zt::dm::ZTDMImpl *pImpl = zt::dm::ZTDMImpl::create("127.0.0.1:1");
  pImpl->registerDriver(1, DriverCallbacks{fuzzSetConfig, fuzzGetConfig, fuzzCtrl, fuzzQryStatus});
  pImpl->registerDriver(2, DriverCallbacks{nullptr, fuzzGetConfig, nullptr, nullptr});
  pImpl->registerDevice(makeDevice("D1", "", 1));
  pImpl->registerDevice(makeDevice("C1", "D1", 1));
  pImpl->registerDevice(makeDevice("N1", "0", 99));
  pImpl->registerDevice(makeDevice("G1", "0", 2));
  return pImpl;
}

// The MQTT client keeps every answer queued while it is not connected, so the instance is
// renewed now and then to bound the memory that takes.
zt::dm::ZTDMImpl &instance() {
  constexpr int kInputsPerInstance = 2000;
  static zt::dm::ZTDMImpl *s_pImpl = nullptr;
  static int s_nInputs = 0;
  if (s_pImpl == nullptr || ++s_nInputs == kInputsPerInstance) {
    if (s_pImpl != nullptr) {
      zt::dm::ZTDMImpl::destroy(s_pImpl);
    }
    s_pImpl = createInstance();
    s_nInputs = 0;
  }
  return *s_pImpl;
}

template <typename T> T take(const uint8_t *&pData, size_t &nSize) {
  T value{};
  size_t nCopy = nSize < sizeof value ? nSize : sizeof value;
  std::memcpy(&value, pData, nCopy);
  pData += nCopy;
  nSize -= nCopy;
  return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
  if (nSize > (1u << 18)) {
    return 0;
  }
  static const int kResults[] = {0, 1, -5, 100, 101, 2000};
  static const char *kPrefixes[] = {"", "ZTDM/DOWN/DEV/0/1/", "ZTDM/DOWN/DEV-TEST/0/0/", "ZTDM/DOWN/TEST/D1/1/"};
  uint32_t uSN = take<uint32_t>(pData, nSize);
  int32_t nType = take<int32_t>(pData, nSize);
  g_nResult = kResults[take<uint8_t>(pData, nSize) % (sizeof kResults / sizeof kResults[0])];
  g_nReportedLength = take<int16_t>(pData, nSize) * 8;
  std::string strTopic = kPrefixes[take<uint8_t>(pData, nSize) % (sizeof kPrefixes / sizeof kPrefixes[0])];
  const uint8_t *pNewline = static_cast<const uint8_t *>(std::memchr(pData, '\n', nSize));
  size_t nTopicLength = pNewline != nullptr ? static_cast<size_t>(pNewline - pData) : nSize;
  strTopic.append(reinterpret_cast<const char *>(pData), nTopicLength);
  // An exact-size copy of the payload, so that reading past it is caught.
  size_t nPayloadStart = pNewline != nullptr ? nTopicLength + 1 : nSize;
  std::vector<char> vecPayload(pData + nPayloadStart, pData + nSize);
  zt::dm::ZTDMImpl &impl = instance();
  zt::dm::Channel::onMessage(strTopic.c_str(), vecPayload.empty() ? nullptr : vecPayload.data(),
                             static_cast<int>(vecPayload.size()), 1, 0, uSN, nType, "0", &impl.channel());
  // The request runs on the instance's request thread: wait for it, so that each input is done
  // (and any fault shows) before the next one sets the driver's answers.
  impl.waitUntilRequestsHandled();
  return 0;
}
