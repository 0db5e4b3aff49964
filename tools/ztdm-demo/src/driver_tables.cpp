#include "driver_tables.h"

#include "demo_devices.h"
#include "face_recognizer_settings.h"
#include "sample_bodies.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace zt::demo {
namespace {

constexpr int kCtrlRestart = 1;
constexpr int kCtrlReset = 2;

void printHeading(const char *pstrKind, const char *pstrOperation, const DeviceInfo *pDevice, int nSn) {
  std::printf("======== %s %s ========\n", pstrKind, pstrOperation);
  std::printf("DevId=[%s] SN=[%d] \n", deviceId(*pDevice).c_str(), nSn);
}

// The request bytes within the given length, up to a terminating zero byte if one is included.
std::string requestText(const char *pData, int nLen) {
  if (pData == nullptr || nLen <= 0) {
    return "";
  }
  return std::string(pData, strnlen(pData, static_cast<size_t>(nLen)));
}

bool parseJson(const std::string &strText, Json::Value &value) {
  Json::CharReaderBuilder builder;
  std::istringstream stream(strText);
  std::string strErrors;
  return Json::parseFromStream(builder, stream, &value, &strErrors);
}

// Writes the text into the output buffer unless it is longer than the buffer the caller gave.
int writeOutput(const std::string &strText, char *pOut, int *pnOutLen) {
  if (pOut == nullptr || pnOutLen == nullptr || *pnOutLen < 0 ||
      strText.size() > static_cast<size_t>(*pnOutLen)) {
    std::printf("Error: output buffer too small\n");
    if (pnOutLen != nullptr) {
      *pnOutLen = 0;
    }
    return -1;
  }
  std::memcpy(pOut, strText.data(), strText.size());
  *pnOutLen = static_cast<int>(strText.size());
  return 0;
}

void setNoOutput(int *pnOutLen) {
  if (pnOutLen != nullptr) {
    *pnOutLen = 0;
  }
}

int writeConfigFile(const char *pstrFile, const std::string &strText) {
  std::ofstream file(pstrFile, std::ios::binary | std::ios::trunc);
  if (!file || !file.write(strText.data(), static_cast<std::streamsize>(strText.size()))) {
    std::printf("Error: can not open file\n");
    return -1;
  }
  return 0;
}

// Reads a configuration file and answers it styled; a file that is not JSON is a failure.
int readConfigFile(const char *pstrFile, char *pOut, int *pnOutLen) {
  std::ifstream file(pstrFile, std::ios::binary);
  if (!file) {
    std::printf("Error: can not open file\n");
    setNoOutput(pnOutLen);
    return -1;
  }
  std::string strText((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  Json::Value config;
  if (!parseJson(strText, config)) {
    std::printf("Error: %s is not JSON\n", pstrFile);
    setNoOutput(pnOutLen);
    return -1;
  }
  return writeOutput(styledText(config), pOut, pnOutLen);
}

int controllerSetConfig(const DeviceInfo *pDevice, const char *pData, int nDataLen, int nSn) {
  printHeading("Controller", "SetConfig", pDevice, nSn);
  return writeConfigFile(kControllerConfigFile, requestText(pData, nDataLen));
}

int controllerGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  printHeading("Controller", "GetConfig", pDevice, nSn);
  return readConfigFile(kControllerConfigFile, pOut, pnOutLen);
}

int controllerCtrl(const DeviceInfo *pDevice, const char *pData, int nDataLen, char * /*pOut*/, int *pnOutLen,
                   int nSn) {
  printHeading("Controller", "Ctrl", pDevice, nSn);
  setNoOutput(pnOutLen);
  Json::Value request;
  if (!parseJson(requestText(pData, nDataLen), request) || !request.isObject()) {
    return 0;
  }
  unsigned uCtrlType = request["ctrlType"].isUInt() ? request["ctrlType"].asUInt() : 0;
  std::string strName = deviceName(*pDevice);
  if (uCtrlType == kCtrlRestart) {
    std::printf(">>>>>>>>> %s: Restart Controller!!\n", strName.c_str());
  } else if (uCtrlType == kCtrlReset) {
    std::printf(">>>>>>>>>>>> %s: Reset Controller!!\n", strName.c_str());
  }
  return 0;
}

int controllerQryStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  printHeading("Controller", "QryStatus", pDevice, nSn);
  Json::Value status;
  status["subDevStatus"] = subDevStatus(deviceId(*pDevice));
  status["controlStatus"] = Json::UInt(1);
  writeOutput(styledText(status), pOut, pnOutLen);
  std::printf("User: 执行控制机设备getStatus操作各产品自定义.\n");
  return -1;
}

// The status answer of card readers and face recognisers.
int subDeviceStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen) {
  Json::Value status;
  status["subDevStatus"] = subDevStatus(deviceId(*pDevice));
  return writeOutput(styledText(status), pOut, pnOutLen);
}

int cardReaderQryStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  printHeading("Card reader", "QryStatus", pDevice, nSn);
  return subDeviceStatus(pDevice, pOut, pnOutLen);
}

int faceSetConfig(const DeviceInfo *pDevice, const char *pData, int nDataLen, int nSn) {
  printHeading("Face recognizer", "SetConfig", pDevice, nSn);
  Json::Value config;
  if (!parseJson(requestText(pData, nDataLen), config)) {
    std::printf("Error: the configuration is not JSON\n");
    return -1;
  }
  FaceRecognizerSettings settings;
  readFaceRecognizerSettings(config, settings);
  std::printf("method=[%d] runMode=[%d] recThreshold=[%.2f]\n", settings.method, settings.runMode,
              settings.recThreshold);
  return writeConfigFile(kFaceRecognizerConfigFile, styledText(config));
}

int faceGetConfig(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  printHeading("Face recognizer", "GetConfig", pDevice, nSn);
  return readConfigFile(kFaceRecognizerConfigFile, pOut, pnOutLen);
}

int faceCtrl(const DeviceInfo *pDevice, const char *pData, int nDataLen, char *pOut, int *pnOutLen, int nSn) {
  printHeading("Face recognizer", "Ctrl", pDevice, nSn);
  Json::Value request;
  parseJson(requestText(pData, nDataLen), request);
  if (request.isObject()) {
    std::string strData = request["data"].isString() ? request["data"].asString() : "";
    std::printf("%s", strData.c_str());
    std::fflush(stdout);
  }
  return writeOutput(styledText(request), pOut, pnOutLen);
}

int faceQryStatus(const DeviceInfo *pDevice, char *pOut, int *pnOutLen, int nSn) {
  printHeading("Face recognizer", "QryStatus", pDevice, nSn);
  return subDeviceStatus(pDevice, pOut, pnOutLen);
}

} // namespace

DriverCallbacks controllerDriver() {
  return DriverCallbacks{controllerSetConfig, controllerGetConfig, controllerCtrl, controllerQryStatus};
}

DriverCallbacks cardReaderDriver() {
  return DriverCallbacks{nullptr, nullptr, nullptr, cardReaderQryStatus};
}

DriverCallbacks faceRecognizerDriver() {
  return DriverCallbacks{faceSetConfig, faceGetConfig, faceCtrl, faceQryStatus};
}

} // namespace zt::demo
