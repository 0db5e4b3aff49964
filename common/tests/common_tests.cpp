#include "zt_common.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(BuildTimeString, ParsesCompilerDateAndFallsBackToRawTexts) {
  EXPECT_EQ(zt::buildTimeString("Oct 19 2021", "09:42:32"), "2021-10-19 09:42:32");
  EXPECT_EQ(zt::buildTimeString("Jan  5 2024", "00:00:01"), "2024-01-05 00:00:01");
  EXPECT_EQ(zt::buildTimeString("Foo 19 2021", "09:42:32"), "2021-01-19 09:42:32");
  EXPECT_EQ(zt::buildTimeString("October 19 2021", "09:42:32"), "October 19 2021 09:42:32");
  EXPECT_EQ(zt::buildTimeString("garbage", "t"), "garbage t");
  EXPECT_EQ(zt::buildTimeString(nullptr, nullptr), " ");
}

TEST(ModuleInfo, FieldsAreZeroTerminatedAndCut) {
  char record[zt::kModuleInfoSize];
  std::memset(record, 'x', sizeof record);
  zt::fillModuleInfo(record, "1.1.3", "2021-04-14 10:53:56", "ZTM2044", std::string(100, 'n'));
  EXPECT_STREQ(record, "1.1.3");
  EXPECT_STREQ(record + 64, "2021-04-14 10:53:56");
  EXPECT_STREQ(record + 128, "ZTM2044");
  EXPECT_EQ(std::strlen(record + 192), 63u);
  EXPECT_EQ(record + 255, std::strchr(record + 192, '\0'));
}
