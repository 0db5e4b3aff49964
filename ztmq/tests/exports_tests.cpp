// libztmq.so exports the task functions and nothing else.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "exported_symbols.h"

TEST(Exports, ExactlyTheTaskFunctions) {
  std::set<std::string> setExpected = {
      "ZTModuleInfo",       "ZTSetLogFunc",       "ZTCreateTask",    "ZTCreateTaskWithIdleCallback",
      "ZTCreateTaskEx",     "ZTCreateProxyTask",  "ZTDestroyTask",   "ZTSendMessage",
      "ZTProxySendMessage", "ZTConfigSetAddr",    "ZTConfigGetAddr", "ZTConfigIDIsSet",
      "ZTConfigIDIsSetFast", "ZTConfigSetProxy",  "ZTConfigGetProxy"};
  EXPECT_EQ(zt::test::exportedSymbols(ZTMQ_LIBRARY_PATH), setExpected);
}
