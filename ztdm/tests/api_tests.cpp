// The exported interface of libztdm.so: module information, address checks and argument checks.
#include "ztdm.h"

#include "broker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

extern "C" int ztdmRefusalsSeenByC(void);

TEST(ZtdmApi, ModuleInfoNamesTheLibrary) {
  ZtModuleInfo info;
  std::memset(&info, 'x', sizeof info);
  ASSERT_EQ(ztdm_ModuleInfo(&info), 0);
  EXPECT_STREQ(info.szVersion, "3.1.3");
  EXPECT_STREQ(info.szModuleType, "ZTM2042");
  EXPECT_STREQ(info.szModuleName, "ZTDM");
  EXPECT_TRUE(std::regex_match(info.szBuildTime, std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})")))
      << info.szBuildTime;
  EXPECT_EQ(ztdmRefusalsSeenByC(), 8);
}

TEST(ZtdmApi, CreateChecksTheAddress) {
  const char *bad[] = {"127.0.0.1",      "localhost:1883", "1.2.3:1883",
                       "1.2.3.4.5:1883", ".1.2.3:1883",    "1.2.3.256:1883"};
  for (const char *pstrAddress : bad) {
    EXPECT_EQ(ztdm_Create(pstrAddress), nullptr) << pstrAddress;
  }
  // A valid address gives an instance even before the broker can be reached; busline retries.
  std::string strAddress = "127.0.0.1:" + std::to_string(zt::test::freeTcpPort());
  ZtdmHandle *pHandle = ztdm_Create(strAddress.c_str());
  ASSERT_NE(pHandle, nullptr);

  DeviceInfo device;
  std::memset(&device, 0, sizeof device);
  DriverCallbacks callbacks{nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(ztdm_RegisterDriver(pHandle, -1, &callbacks), -1);
  EXPECT_EQ(ztdm_RegisterDriver(pHandle, 1, nullptr), -1);
  EXPECT_EQ(ztdm_RegisterDriver(pHandle, 1, &callbacks), 0);
  EXPECT_EQ(ztdm_RegisterDevice(pHandle, nullptr), -1);
  EXPECT_EQ(ztdm_RegisterDevice(pHandle, &device), -1); // empty id
  for (const char *pstrId : {"a/b", "+", "a#"}) {
    std::strcpy(device.id, pstrId);
    EXPECT_EQ(ztdm_RegisterDevice(pHandle, &device), -1) << pstrId;
  }
  std::strcpy(device.id, "D1");
  // The pid is a topic segment of every message of the device; empty stands for "0".
  for (const char *pstrPid : {"a/b", "+", "P#"}) {
    std::strcpy(device.pid, pstrPid);
    EXPECT_EQ(ztdm_RegisterDevice(pHandle, &device), -1) << pstrPid;
  }
  std::strcpy(device.pid, "");
  EXPECT_EQ(ztdm_RegisterDevice(pHandle, &device), 0);
  EXPECT_EQ(ztdm_ReportData(pHandle, nullptr, 0, "x", 1), -1);
  EXPECT_EQ(ztdm_ReportData(pHandle, "D1", 0, nullptr, 1), -1);
  EXPECT_EQ(ztdm_ReportData(pHandle, "D1", 0, "x", -1), -1);
  EXPECT_EQ(ztdm_regTestCase(pHandle, 1, "{}", 0), -1);
  EXPECT_EQ(ztdm_regTestCase(pHandle, -1, "{}", 2), -1);
  EXPECT_EQ(ztdm_regTestCase(pHandle, 1, nullptr, 2), -1);
  ztdm_Destroy(pHandle);
}

namespace {

// ztdm's log file, beside the test program.
std::string ztdmLogText() {
  char szExe[4096] = {0};
  ssize_t nLength = readlink("/proc/self/exe", szExe, sizeof szExe - 1);
  std::string strExe(szExe, nLength > 0 ? static_cast<size_t>(nLength) : 0);
  std::ifstream file(strExe.substr(0, strExe.rfind('/')) + "/log/ztdm.log");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

} // namespace

TEST(ZtdmApi, CreateLogsWhyAnAddressIsRefused) {
  const char *refused[] = {"localhost:1883", "300.1.1.1:1883", "127.0.0.1:99999", "127.0.0.1:0"};
  for (const char *pstrAddress : refused) {
    EXPECT_EQ(ztdm_Create(pstrAddress), nullptr) << pstrAddress;
    // The line kept as it was, then the reason naming the address.
    std::string strKept = std::string("Invalid address: ") + pstrAddress + "\n";
    std::string strReason = std::string("ztdm_Create: broker address \"") + pstrAddress + "\"";
    EXPECT_TRUE(zt::test::waitFor([&] {
      std::string strLog = ztdmLogText();
      size_t nKept = strLog.rfind(strKept);
      return nKept != std::string::npos && strLog.find(strReason, nKept) != std::string::npos;
    })) << pstrAddress;
  }
  EXPECT_EQ(ztdm_Create(nullptr), nullptr);
  EXPECT_TRUE(zt::test::waitFor(
      [] { return ztdmLogText().find("ztdm_Create: no broker address given") != std::string::npos; }));
}
