#include "topic.h"

#include "command_code.h"
#include "run_model.h"

namespace zt::protocol {

namespace {

std::string directionPrefix(Direction eDirection) {
  return eDirection == Direction::Up ? "ZTDM/UP/" : "ZTDM/DOWN/";
}

const char *channelOf(int nRunModel) {
  return nRunModel == kRunModelDebug ? "TEST/" : "DEV/";
}

} // namespace

std::string topicPrefix(Direction eDirection, int nRunModel, int nCmd) {
  if (isRunModelCommand(nCmd)) {
    return directionPrefix(eDirection) + "DEV-TEST/";
  }
  return directionPrefix(eDirection) + channelOf(nRunModel);
}

std::string deviceTopic(Direction eDirection, int nRunModel, int nCmd, const std::string &strPid, int nVdt,
                        const std::string &strDevId) {
  return topicPrefix(eDirection, nRunModel, nCmd) + strPid + "/" + std::to_string(nVdt) + "/" + strDevId +
         "/" + commandNameOf(nCmd);
}

std::string findDevicesRequestTopic(const std::string &strDevId) {
  return "ZTDM/DOWN/DEV/0/0/" + strDevId + "/" + commandNameOf(kCmdFindDevices);
}

std::string testCaseTopic(int nVdt) {
  return "ZTDM/UP/DEV/0/0/" + std::to_string(nVdt) + "/" + commandNameOf(kCmdRegTestCase);
}

std::string rootDevicesFilter(Direction eDirection, int nRunModel) {
  return directionPrefix(eDirection) + channelOf(nRunModel) + "0/#";
}

std::string childDevicesFilter(Direction eDirection, int nRunModel, const std::string &strDevId) {
  return directionPrefix(eDirection) + channelOf(nRunModel) + strDevId + "/#";
}

std::string runModelFilter(Direction eDirection, const std::string &strDevId) {
  return directionPrefix(eDirection) + "DEV-TEST/0/+/" + strDevId + "/#";
}

std::vector<std::string> splitTopic(const std::string &strTopic) {
  std::vector<std::string> vecSegments;
  size_t nStart = 0;
  for (;;) {
    size_t nSlash = strTopic.find('/', nStart);
    if (nSlash == std::string::npos) {
      vecSegments.push_back(strTopic.substr(nStart));
      return vecSegments;
    }
    vecSegments.push_back(strTopic.substr(nStart, nSlash - nStart));
    nStart = nSlash + 1;
  }
}

bool isWellFormedTopic(const std::vector<std::string> &vecSegments) {
  if (vecSegments.size() != kTopicSegmentCount || vecSegments[kSegRoot] != "ZTDM") {
    return false;
  }
  for (const std::string &strSegment : vecSegments) {
    if (strSegment.empty()) {
      return false;
    }
  }
  return true;
}

} // namespace zt::protocol
