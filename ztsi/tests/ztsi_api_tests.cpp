// The exported functions without a broker: argument checks, module information, addresses.
#include "ztsi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

// Nothing listens here, so an instance keeps retrying in the background.
constexpr char kNoBroker[] = "127.0.0.1:1";

TEST(ZtsiApi, ModuleInformation) {
  ZtModuleInfo info;
  ASSERT_EQ(ztsi_ModuleInfo(&info), 0);
  EXPECT_STREQ(info.szVersion, "3.1.3");
  EXPECT_STREQ(info.szBuildTime, "2021-10-20 16:07:10");
  EXPECT_STREQ(info.szModuleType, "ZTM2042");
  EXPECT_STREQ(info.szModuleName, "ZTSI");
  EXPECT_EQ(ztsi_ModuleInfo(nullptr), -1);
}

TEST(ZtsiApi, CreateRefusesAddressesThatAreNotIpv4AndPort) {
  for (const char *pstrBad :
       {"127.0.0.1", "localhost:1883", "1.2.3:1883", "1.2.3.4.5:1883", ".1.2.3:1883", "1.2.3.256:1883"}) {
    EXPECT_EQ(ztsi_Create(pstrBad, nullptr, nullptr), nullptr) << pstrBad;
  }
  EXPECT_EQ(ztsi_Create(nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(ztsi_CreateEx("1.2.3", nullptr, nullptr, 1), nullptr);
}

std::string programLog() {
  char szExe[4096] = {0};
  ssize_t nLen = readlink("/proc/self/exe", szExe, sizeof(szExe) - 1);
  std::string strExe(szExe, nLen > 0 ? static_cast<size_t>(nLen) : 0);
  std::ifstream file(strExe.substr(0, strExe.rfind('/')) + "/log/ztsi.log");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

size_t occurrences(const std::string &strText, const std::string &strPart) {
  size_t nCount = 0;
  for (size_t nPos = strText.find(strPart); nPos != std::string::npos;
       nPos = strText.find(strPart, nPos + 1)) {
    ++nCount;
  }
  return nCount;
}

// Next to its old line the log tells, as an error, what is wrong with the address and what is
// expected. The log is written in the background, within about 100 ms.
TEST(ZtsiApi, ARefusedAddressIsExplainedInTheLog) {
  for (const char *pstrBad : {"localhost:1883", "300.1.1.1:1883", "127.0.0.1:99999", "127.0.0.1:0"}) {
    const std::string strReason = "broker address \"" + std::string(pstrBad) + "\"";
    size_t nBefore = occurrences(programLog(), strReason);
    size_t nOldLines = occurrences(programLog(), "ip is invalid....");
    EXPECT_EQ(ztsi_Create(pstrBad, nullptr, nullptr), nullptr) << pstrBad;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (occurrences(programLog(), strReason) == nBefore && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::string strLog = programLog();
    // Lines of the test before may still arrive, so these counts can grow by more than one.
    EXPECT_GT(occurrences(strLog, strReason), nBefore) << pstrBad;
    EXPECT_GT(occurrences(strLog, "ip is invalid...."), nOldLines);
    size_t nReason = strLog.rfind(strReason);
    ASSERT_NE(nReason, std::string::npos);
    std::string strLine = strLog.substr(strLog.rfind('\n', nReason) + 1);
    strLine = strLine.substr(0, strLine.find('\n'));
    EXPECT_NE(strLine.find("[ERROR]"), std::string::npos) << strLine;
    EXPECT_NE(strLine.find("(expected a.b.c.d:port"), std::string::npos) << strLine;
  }
}

TEST(ZtsiApi, NullHandlesAreRefused) {
  EXPECT_EQ(ztsi_SetParam(nullptr, "D1", 0, "{}", 2, nullptr), -1);
  EXPECT_EQ(ztsi_GetParam(nullptr, "D1", 0, nullptr), -1);
  EXPECT_EQ(ztsi_Ctrl(nullptr, "D1", 0, "{}", 2, nullptr), -1);
  EXPECT_EQ(ztsi_QryStatus(nullptr, "D1", 0, nullptr), -1);
  EXPECT_EQ(ztsi_SetRunModel(nullptr, "D1", 0, 1, nullptr), -1);
  EXPECT_EQ(ztsi_GetRunModel(nullptr, "D1", 0, nullptr), -1);
  EXPECT_EQ(ztsi_FindDevices(nullptr, "X", 0, nullptr), -1);
  EXPECT_EQ(ztsi_GetFoundDev(nullptr, nullptr), -1);
  int nLen = -5;
  EXPECT_EQ(ztsi_GetTestCase(nullptr, &nLen), nullptr);
  ztsi_SetStatusCallback(nullptr, nullptr);
  ztsi_SetDataCallback(nullptr, nullptr);
  ztsi_SetEventCallback(nullptr, nullptr);
  ztsi_Destory(nullptr);
}

TEST(ZtsiApi, RequestsCheckTheDevIdAndNeedAnAnnouncedDevice) {
  ZtsiHandle *pHandle = ztsi_Create(kNoBroker, nullptr, nullptr);
  ASSERT_NE(pHandle, nullptr);
  std::string str64(64, 'd');
  std::string str65(65, 'd');

  EXPECT_EQ(ztsi_GetParam(pHandle, nullptr, 0, nullptr), -1);
  EXPECT_EQ(ztsi_SetParam(pHandle, str65.c_str(), 0, "{}", 2, nullptr), -1);
  EXPECT_EQ(ztsi_FindDevices(pHandle, str65.c_str(), 0, nullptr), -1);
  // 64 characters pass the checks; the device was never announced, so nothing is sent.
  EXPECT_EQ(ztsi_SetParam(pHandle, str64.c_str(), 0, "{}", 2, nullptr), 1);
  EXPECT_EQ(ztsi_GetParam(pHandle, "D1", 3, nullptr), 1);
  EXPECT_EQ(ztsi_Ctrl(pHandle, "D1", 0, "{}", 2, nullptr), 1);
  EXPECT_EQ(ztsi_QryStatus(pHandle, "D1", 0, nullptr), 1);
  EXPECT_EQ(ztsi_SetRunModel(pHandle, "D1", 0, 1, nullptr), 1);
  EXPECT_EQ(ztsi_GetRunModel(pHandle, "D1", 0, nullptr), 1);

  // No test case yet: the compact text of a JSON null value.
  int nLen = 0;
  const char *pstrCases = ztsi_GetTestCase(pHandle, &nLen);
  ASSERT_NE(pstrCases, nullptr);
  EXPECT_STREQ(pstrCases, "null");
  EXPECT_EQ(nLen, 4);
  ztsi_Destory(pHandle);
}

} // namespace
