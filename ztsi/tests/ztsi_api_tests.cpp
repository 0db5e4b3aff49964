// The exported functions without a broker: argument checks, module information, addresses.
#include "ztsi.h"

#include <gtest/gtest.h>

#include <string>

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
