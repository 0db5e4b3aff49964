// The demo driver's entry-point tables: controller (vdt 0), card reader (vdt 14) and face
// recogniser (vdt 16). Configurations are kept in files of the working directory.
#pragma once

#include "ztdm_driver_callbacks.h"

namespace zt::demo {

constexpr int kControllerVdt = 0;
constexpr int kCardReaderVdt = 14;
constexpr int kFaceRecognizerVdt = 16;

constexpr const char *kControllerConfigFile = "controller.txt";
constexpr const char *kFaceRecognizerConfigFile = "FaceRecognizerConfig.txt";

// SetConfig and GetConfig through "controller.txt", Ctrl restart/reset, QryStatus.
DriverCallbacks controllerDriver();
// QryStatus only.
DriverCallbacks cardReaderDriver();
// SetConfig and GetConfig through "FaceRecognizerConfig.txt", Ctrl echo, QryStatus.
DriverCallbacks faceRecognizerDriver();

} // namespace zt::demo
