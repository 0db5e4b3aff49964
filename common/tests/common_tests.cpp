#include "zt_common.h"
#include "c_boundary.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

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

TEST(GuardedCall, ExceptionsBecomeTheFailureResultAndOneReport) {
  std::vector<std::string> reports;
  auto report = [&](const char *pstrFunction, const char *pstrWhat) {
    reports.push_back(std::string(pstrFunction) + ":" + pstrWhat);
  };
  EXPECT_EQ(zt::guardedCall("ok", -1, report, [] { return 7; }), 7);
  EXPECT_EQ(zt::guardedCall("oom", -1, report, []() -> int { throw std::bad_alloc(); }), -1);
  EXPECT_EQ(zt::guardedCall("runtime", -2, report, []() -> int { throw std::runtime_error("boom"); }), -2);
  EXPECT_EQ(zt::guardedCall("other", 1, report, []() -> int { throw 42; }), 1);
  const char *pNull = zt::guardedCall("pointer", static_cast<const char *>(nullptr), report,
                                      []() -> const char * { throw std::logic_error("x"); });
  EXPECT_EQ(pNull, nullptr);
  bool bRan = false;
  zt::guardedCall("void", report, [&] {
    bRan = true;
    throw std::runtime_error("late");
  });
  EXPECT_TRUE(bRan);
  // A report that throws itself is swallowed too.
  EXPECT_EQ(zt::guardedCall("bad report", 5, [](const char *, const char *) { throw 1; },
                            []() -> int { throw std::runtime_error("x"); }),
            5);
  EXPECT_EQ(reports, (std::vector<std::string>{"oom:out of memory", "runtime:boom", "other:unknown exception",
                                                "pointer:x", "void:late"}));
}
