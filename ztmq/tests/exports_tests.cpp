// libztmq.so exports the task functions and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

TEST(Exports, ExactlyTheTaskFunctions) {
  std::string strCommand = std::string("nm -D --defined-only ") + ZTMQ_LIBRARY_PATH;
  FILE *pPipe = popen(strCommand.c_str(), "r");
  ASSERT_NE(pPipe, nullptr);
  std::set<std::string> setSymbols;
  char szAddress[64], szType[8], szName[512];
  while (std::fscanf(pPipe, "%63s %7s %511s", szAddress, szType, szName) == 3) {
    setSymbols.insert(szName);
  }
  ASSERT_EQ(pclose(pPipe), 0);
  std::set<std::string> setExpected = {
      "ZTModuleInfo",       "ZTSetLogFunc",       "ZTCreateTask",    "ZTCreateTaskWithIdleCallback",
      "ZTCreateTaskEx",     "ZTCreateProxyTask",  "ZTDestroyTask",   "ZTSendMessage",
      "ZTProxySendMessage", "ZTConfigSetAddr",    "ZTConfigGetAddr", "ZTConfigIDIsSet",
      "ZTConfigIDIsSetFast", "ZTConfigSetProxy",  "ZTConfigGetProxy"};
  EXPECT_EQ(setSymbols, setExpected);
}
