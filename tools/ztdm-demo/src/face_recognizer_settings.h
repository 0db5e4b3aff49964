// The settings a face recogniser takes from its configuration object.
#pragma once

#include <json/json.h>
#include <vector>

namespace zt::demo {

struct FaceRect {
  unsigned left = 0;
  unsigned top = 0;
  unsigned right = 0;
  unsigned bottom = 0;
};

struct FaceRecognizerSettings {
  int method = 0;
  int time = 0;
  int livingCheck = 0;
  int mdSensitivity = 0;
  int detectMode = 0;
  int irLevel = 0;
  int whiteLevel = 0;
  int whiteMode = 0;
  int irMode = 0;
  int runMode = 0;
  int voteStrategy = 0;
  int notifyTarget = 0;
  int nSelfLearning = 0;
  int bLivePic = 0;
  int nFaceSize = 0;
  int bLivePicSave = 0;
  int bAnti = 0;
  int recFailedTO = 0;
  int bLBP = 0;
  int selfLearnTerm = 0;
  int bHidePersonName = 0;
  int bHidePersonPic = 0;
  int nAntiLevel = 0;
  int nJpgFaceImg = 0;
  double recThreshold = 0;
  double nMapIOU = 0;
  double fEyeableConfTh = 0;
  double fIdRecTh = 0;
  double fInfraConfTh = 0;
  double fMaskThresh = 0;
  double fFaceDetectClsTh = 0;
  FaceRect mdRect;
  std::vector<int> reserved;
};

// Takes each setting that is present with its type (int, number, object of unsigned, array of
// int); the others keep their current values.
void readFaceRecognizerSettings(const Json::Value &config, FaceRecognizerSettings &settings);

} // namespace zt::demo
