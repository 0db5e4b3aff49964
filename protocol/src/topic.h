// Topics of the device access protocol: ZTDM/{UP|DOWN}/{DEV|TEST|DEV-TEST}/pid/vdt/devId/Command.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zt::protocol {

enum class Direction { Up, Down };

// Segment positions of a protocol topic.
enum TopicSegment : size_t {
  kSegRoot = 0,
  kSegDirection = 1,
  kSegChannel = 2,
  kSegPid = 3,
  kSegVdt = 4,
  kSegDevId = 5,
  kSegCommand = 6,
  kTopicSegmentCount = 7,
};

// "ZTDM/UP/DEV/", "ZTDM/DOWN/TEST/", ...: DEV-TEST for the run-model commands, otherwise
// TEST when the run model is Debug and DEV in every other case.
std::string topicPrefix(Direction eDirection, int nRunModel, int nCmd);

// The topic of a device and command: prefix followed by pid/vdt/devId/command name.
std::string deviceTopic(Direction eDirection, int nRunModel, int nCmd, const std::string &strPid, int nVdt,
                        const std::string &strDevId);

// ZTDM/DOWN/DEV/0/0/<devId>/FindDevices: the discovery request, whatever the run model.
std::string findDevicesRequestTopic(const std::string &strDevId);

// ZTDM/UP/DEV/0/0/<vdt>/RegTestCase: the test-case announcement of a visual device type.
std::string testCaseTopic(int nVdt);

// ZTDM/<dir>/DEV/0/# (TEST in Debug): everything addressed to devices without parent.
std::string rootDevicesFilter(Direction eDirection, int nRunModel);

// ZTDM/<dir>/DEV/<devId>/# (TEST in Debug): everything addressed to the children of a device.
std::string childDevicesFilter(Direction eDirection, int nRunModel, const std::string &strDevId);

// ZTDM/<dir>/DEV-TEST/0/+/<devId>/#: the run-model messages of a root device of any vdt.
std::string runModelFilter(Direction eDirection, const std::string &strDevId);

// Splits a topic at every "/" (empty segments kept).
std::vector<std::string> splitTopic(const std::string &strTopic);

// Exactly seven segments, the first "ZTDM" and none of the others empty.
bool isWellFormedTopic(const std::vector<std::string> &vecSegments);

} // namespace zt::protocol
