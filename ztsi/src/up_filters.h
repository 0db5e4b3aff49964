// The filters ztsi subscribes for what device sides send up. They never overlap, so that the broker
// hands each message over once: announcements ("FindDevices") arrive only through the discovery
// filter, and every other filter names the commands it carries instead of ending in "#".
#pragma once

#include <string>
#include <vector>

namespace zt::si {

// ZTDM/UP/+/+/+/+/FindDevices: the announcements of every device.
std::string announcementFilter();

// ZTDM/UP/<DEV|TEST>/<pid>/+/+/<command>: the answers, reports and test cases sent under one pid
// segment ("0" for devices without parent, a parent's id for its children).
std::vector<std::string> answerAndReportFilters(int nRunModel, const std::string &strPid);

// ZTDM/UP/DEV-TEST/0/+/<devId>/<SetRunModel|QryRunModel>: the run-model answers of a root device.
std::vector<std::string> runModelAnswerFilters(const std::string &strDevId);

// Whether an id can stand in a filter as one level: not empty, no "/" and no wildcard.
bool isFilterLevel(const std::string &strId);

} // namespace zt::si
