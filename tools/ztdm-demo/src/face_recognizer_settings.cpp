#include "face_recognizer_settings.h"

#include <utility>

namespace zt::demo {
namespace {

using IntSetting = std::pair<const char *, int FaceRecognizerSettings::*>;
using DoubleSetting = std::pair<const char *, double FaceRecognizerSettings::*>;

const IntSetting kIntSettings[] = {
    {"method", &FaceRecognizerSettings::method},
    {"time", &FaceRecognizerSettings::time},
    {"livingCheck", &FaceRecognizerSettings::livingCheck},
    {"mdSensitivity", &FaceRecognizerSettings::mdSensitivity},
    {"detectMode", &FaceRecognizerSettings::detectMode},
    {"irLevel", &FaceRecognizerSettings::irLevel},
    {"whiteLevel", &FaceRecognizerSettings::whiteLevel},
    {"whiteMode", &FaceRecognizerSettings::whiteMode},
    {"irMode", &FaceRecognizerSettings::irMode},
    {"runMode", &FaceRecognizerSettings::runMode},
    {"voteStrategy", &FaceRecognizerSettings::voteStrategy},
    {"notifyTarget", &FaceRecognizerSettings::notifyTarget},
    {"nSelfLearning", &FaceRecognizerSettings::nSelfLearning},
    {"bLivePic", &FaceRecognizerSettings::bLivePic},
    {"nFaceSize", &FaceRecognizerSettings::nFaceSize},
    {"bLivePicSave", &FaceRecognizerSettings::bLivePicSave},
    {"bAnti", &FaceRecognizerSettings::bAnti},
    {"recFailedTO", &FaceRecognizerSettings::recFailedTO},
    {"bLBP", &FaceRecognizerSettings::bLBP},
    {"selfLearnTerm", &FaceRecognizerSettings::selfLearnTerm},
    {"bHidePersonName", &FaceRecognizerSettings::bHidePersonName},
    {"bHidePersonPic", &FaceRecognizerSettings::bHidePersonPic},
    {"nAntiLevel", &FaceRecognizerSettings::nAntiLevel},
    {"nJpgFaceImg", &FaceRecognizerSettings::nJpgFaceImg},
};

const DoubleSetting kDoubleSettings[] = {
    {"recThreshold", &FaceRecognizerSettings::recThreshold},
    {"nMapIOU", &FaceRecognizerSettings::nMapIOU},
    {"fEyeableConfTh", &FaceRecognizerSettings::fEyeableConfTh},
    {"fIdRecTh", &FaceRecognizerSettings::fIdRecTh},
    {"fInfraConfTh", &FaceRecognizerSettings::fInfraConfTh},
    {"fMaskThresh", &FaceRecognizerSettings::fMaskThresh},
    {"fFaceDetectClsTh", &FaceRecognizerSettings::fFaceDetectClsTh},
};

void readUnsigned(const Json::Value &object, const char *pstrKey, unsigned &uValue) {
  const Json::Value &value = object[pstrKey];
  if (value.isUInt()) {
    uValue = value.asUInt();
  }
}

} // namespace

void readFaceRecognizerSettings(const Json::Value &config, FaceRecognizerSettings &settings) {
  if (!config.isObject()) {
    return;
  }
  for (const auto &setting : kIntSettings) {
    const Json::Value &value = config[setting.first];
    if (value.isInt()) {
      settings.*setting.second = value.asInt();
    }
  }
  for (const auto &setting : kDoubleSettings) {
    const Json::Value &value = config[setting.first];
    if (value.isNumeric()) {
      settings.*setting.second = value.asDouble();
    }
  }
  const Json::Value &rect = config["mdRect"];
  if (rect.isObject()) {
    readUnsigned(rect, "left", settings.mdRect.left);
    readUnsigned(rect, "top", settings.mdRect.top);
    readUnsigned(rect, "right", settings.mdRect.right);
    readUnsigned(rect, "bottom", settings.mdRect.bottom);
  }
  const Json::Value &reserved = config["reserved"];
  if (reserved.isArray()) {
    settings.reserved.clear();
    for (const Json::Value &item : reserved) {
      if (item.isInt()) {
        settings.reserved.push_back(item.asInt());
      }
    }
  }
}

} // namespace zt::demo
