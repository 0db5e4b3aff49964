#include "sample_bodies.h"

#include "demo_devices.h"

namespace zt::demo {
namespace {

const char *const kPlate = "粤B12345";
const char *const kCardNum = "SID2019001221012";

Json::Value barrierGateStatus(const std::string &strDevId) {
  Json::Value body;
  body["deviceId"] = strDevId;
  body["barrierType"] = Json::UInt(0);
  body["poleState"] = Json::UInt(1);
  body["loopCheckState"] = Json::UInt(0);
  body["keepOpenState"] = Json::UInt(3);
  body["fireAlarmState"] = Json::UInt(2);
  for (const char *pstrKey : {"illegalPass", "forcePass", "poleDown", "pushPole", "openDoor", "closeBlock"}) {
    body["alarmState"][pstrKey] = false;
  }
  for (const char *pstrKey : {"memoryError", "machineInvid", "detectorError", "phaseError",
                              "motorDriverError", "blockError", "overLoadError", "powerDownError",
                              "poleDownError", "openDoorError", "pushPoleError", "closeBlockError"}) {
    body["errorState"][pstrKey] = false;
  }
  body["safeProtectState"] = Json::UInt(0);
  return body;
}

Json::Value faceRecognitionResult() {
  Json::Value result;
  result["status"] = 0;
  result["featureStatus"] = 0;
  result["ID"] = Json::Int64(100000000001LL);
  result["name"] = "张三";
  result["recTime"] = "2019-06-13 01:00:02";
  result["bodyImgLen"] = 0;
  result["sFaceImgLen"] = 0;
  result["szBodyImgPath"] = "http://127.0.0.1/face/body_0001.jpg";
  result["szFaceImgPath"] = "http://127.0.0.1/face/face_0001.jpg";
  result["followStatus"] = 0;
  result["maskStat"] = 0;
  result["temperature"] = 36.5;
  result["consumption"] = 0.0;
  result["message"] = "";
  result["livingStatus"] = 1;
  result["helmetStatus"] = 0;
  result["sunGlassStatus"] = 0;
  result["strangerStat"] = 0;
  return result;
}

} // namespace

Json::Value subDevStatus(const std::string &strDevId) {
  Json::Value status;
  status["devId"] = strDevId;
  status["onOffline"] = Json::UInt(1);
  status["diyStatus"] = Json::UInt(0);
  return status;
}

std::optional<Json::Value> statusBody(const DeviceInfo &device) {
  const std::string strId = deviceId(device);
  Json::Value body;
  switch (device.vdt) {
  case 0:
    body["subDevStatus"] = subDevStatus(strId);
    body["controlStatus"] = Json::UInt(1);
    return body;
  case 1:
    return barrierGateStatus(strId);
  case 2:
    body["devId"] = strId;
    body["displayStatus"] = Json::UInt(0);
    return body;
  case 3:
  case 4:
  case 6:
  case 7:
  case 14:
  case 15:
    body["subDevStatus"] = subDevStatus(strId);
    return body;
  case 5:
    body["subDevStatus"] = subDevStatus(strId);
    body["rtspOnline"] = Json::UInt(1);
    return body;
  case 8:
    body["devId"] = strId;
    body["vehType"] = 0;
    body["SensorStatus"] = Json::UInt(2);
    return body;
  case 9:
  case 11:
    body["devId"] = strId;
    body["status"] = Json::UInt(0);
    return body;
  case 10:
    body["devId"] = strId;
    body["paperStatus"] = "";
    body["spitPaperStatus"] = "";
    body["machineErrStatus"] = "";
    return body;
  case 12:
  case 13:
    body["subDevStatus"] = subDevStatus(strId);
    body["status"] = Json::UInt(1);
    return body;
  default:
    return std::nullopt;
  }
}

std::optional<Json::Value> dataBody(const DeviceInfo &device) {
  Json::Value body;
  switch (device.vdt) {
  case 5:
    body["plate"] = kPlate;
    body["plateColor"] = Json::UInt(3);
    body["carLogo"] = "";
    body["carColor"] = "";
    body["trust"] = Json::UInt(90);
    body["direction"] = Json::UInt(0);
    body["bigPicUrl"] = "";
    body["smallPicUrl"] = "";
    body["reservePicUrl"] = "";
    return body;
  case 9:
    body["content"] = kPlate;
    body["exData"] = "";
    return body;
  case 14:
    body["cardType"] = Json::UInt(1);
    body["cardNum"] = kCardNum;
    body["content"] = kPlate;
    body["exData"] = "";
    return body;
  case 15:
    body["dataType"] = Json::UInt(1);
    body["cardType"] = Json::UInt(1);
    body["cardNum"] = kCardNum;
    body["content"] = kPlate;
    body["exData"] = "";
    return body;
  case 16:
    body["data"] = faceRecognitionResult();
    body["exData"] = "";
    return body;
  default:
    return std::nullopt;
  }
}

Json::Value eventBody(const DeviceInfo &device) {
  const std::string strId = deviceId(device);
  Json::Value body;
  body["eventId"] = strId;
  body["deviceId"] = strId;
  body["deviceName"] = deviceName(device);
  body["deviceType"] = Json::UInt(1);
  body["eventType"] = Json::UInt(2095);
  body["eventTime"]["time"] = "2019-06-13 01:00:02";
  body["eventTime"]["millisecond"] = Json::UInt(91929);
  body["eventLevel"] = Json::UInt(5);
  body["eventContent"] = "";
  body["sourceDeviceId"] = "DDDD";
  body["subEventDes"] = "report";
  body["credentialType"] = Json::UInt(56);
  body["credentialNo"] = "A0001";
  body["operatorNo"] = "ADMIN";
  body["operatorName"] = "admin";
  body["seqId"] = "201906150001";
  body["plateNo"] = "粤A88888";
  body["remark"] = "备注";
  return body;
}

std::string styledText(const Json::Value &value) {
  return Json::StyledWriter().write(value);
}

} // namespace zt::demo
