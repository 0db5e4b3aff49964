// The subscription filters: every topic a device side sends that the wide "#" filters of the
// protocol carry is carried by exactly one of them, and announcements only by the announcement filter.
#include "command_code.h"
#include "run_model.h"
#include "topic.h"
#include "up_filters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zt::protocol::Direction;

// MQTT matching: "+" takes one level, a final "#" the rest.
bool matches(const std::string &strFilter, const std::string &strTopic) {
  std::vector<std::string> vecFilter = zt::protocol::splitTopic(strFilter);
  std::vector<std::string> vecTopic = zt::protocol::splitTopic(strTopic);
  for (size_t i = 0; i < vecFilter.size(); ++i) {
    if (vecFilter[i] == "#") {
      return true;
    }
    if (i >= vecTopic.size() || (vecFilter[i] != "+" && vecFilter[i] != vecTopic[i])) {
      return false;
    }
  }
  return vecFilter.size() == vecTopic.size();
}

size_t matchCount(const std::vector<std::string> &vecFilters, const std::string &strTopic) {
  size_t nCount = 0;
  for (const std::string &strFilter : vecFilters) {
    nCount += matches(strFilter, strTopic) ? 1 : 0;
  }
  return nCount;
}

TEST(UpFilters, CarryWhatTheWideFiltersCarryEachTopicOnce) {
  const std::vector<std::string> vecParents = {"P1", "P2"};
  for (int nRunModel : {zt::protocol::kRunModelNormal, zt::protocol::kRunModelDebug}) {
    SCOPED_TRACE("run model " + std::to_string(nRunModel));
    std::vector<std::string> vecFilters = zt::si::answerAndReportFilters(zt::protocol::kRunModelNormal, "0");
    std::vector<std::string> vecWide = {zt::protocol::rootDevicesFilter(Direction::Up, zt::protocol::kRunModelNormal)};
    if (nRunModel == zt::protocol::kRunModelDebug) {
      for (const std::string &strFilter : zt::si::answerAndReportFilters(zt::protocol::kRunModelDebug, "0")) {
        vecFilters.push_back(strFilter);
      }
      vecWide.push_back(zt::protocol::rootDevicesFilter(Direction::Up, zt::protocol::kRunModelDebug));
    }
    for (const std::string &strParent : vecParents) {
      for (const std::string &strFilter : zt::si::answerAndReportFilters(nRunModel, strParent)) {
        vecFilters.push_back(strFilter);
      }
      for (const std::string &strFilter : zt::si::runModelAnswerFilters(strParent)) {
        vecFilters.push_back(strFilter);
      }
      vecWide.push_back(zt::protocol::childDevicesFilter(Direction::Up, nRunModel, strParent));
      vecWide.push_back(zt::protocol::runModelFilter(Direction::Up, strParent));
    }
    vecFilters.push_back(zt::si::announcementFilter());

    for (const char *pstrChannel : {"DEV", "TEST", "DEV-TEST"}) {
      for (const char *pstrPid : {"0", "P1", "P2", "C1"}) {
        for (const char *pstrDevId : {"P1", "P2", "C1", "16"}) {
          for (int nCmd = zt::protocol::kCmdFindDevices; nCmd <= zt::protocol::kCmdQryRunModel; ++nCmd) {
            // Device sides send the run-model answers on DEV-TEST and nothing else there.
            if ((std::string(pstrChannel) == "DEV-TEST") != zt::protocol::isRunModelCommand(nCmd)) {
              continue;
            }
            std::string strTopic = std::string("ZTDM/UP/") + pstrChannel + "/" + pstrPid + "/16/" +
                                   pstrDevId + "/" + zt::protocol::commandNameOf(nCmd);
            size_t nExpected = nCmd == zt::protocol::kCmdFindDevices || matchCount(vecWide, strTopic) > 0 ? 1 : 0;
            EXPECT_EQ(matchCount(vecFilters, strTopic), nExpected) << strTopic;
          }
        }
      }
    }
  }
}

TEST(UpFilters, OnlyPlainIdsStandInAFilter) {
  EXPECT_TRUE(zt::si::isFilterLevel("D1"));
  EXPECT_TRUE(zt::si::isFilterLevel("gate-01.east"));
  for (const char *pstrBad : {"", "+", "#", "a/b", "a+", "#b"}) {
    EXPECT_FALSE(zt::si::isFilterLevel(pstrBad)) << pstrBad;
  }
}

} // namespace
