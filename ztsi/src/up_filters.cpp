#include "up_filters.h"

#include "command_code.h"
#include "topic.h"

namespace zt::si {

namespace {

std::string filterOf(int nRunModel, int nCmd, const std::string &strPid, const std::string &strDevId) {
  return protocol::topicPrefix(protocol::Direction::Up, nRunModel, nCmd) + strPid + "/+/" + strDevId + "/" + protocol::commandNameOf(nCmd);
}

} // namespace

std::string announcementFilter() {
  return "ZTDM/UP/+/+/+/+/FindDevices";
}

std::vector<std::string> answerAndReportFilters(int nRunModel, const std::string &strPid) {
  std::vector<std::string> vecFilters;
  for (int nCmd = protocol::kCmdSetParam; nCmd <= protocol::kCmdRegTestCase; ++nCmd) {
    vecFilters.push_back(filterOf(nRunModel, nCmd, strPid, "+"));
  }
  return vecFilters;
}

std::vector<std::string> runModelAnswerFilters(const std::string &strDevId) {
  return {filterOf(0, protocol::kCmdSetRunModel, "0", strDevId), filterOf(0, protocol::kCmdQryRunModel, "0", strDevId)};
}

bool isFilterLevel(const std::string &strId) {
  return !strId.empty() && strId.find_first_of("/+#") == std::string::npos;
}

} // namespace zt::si
