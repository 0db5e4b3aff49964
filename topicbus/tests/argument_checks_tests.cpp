// Address and text checks, and what the library exports.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "argument_checks.h"
#include "exported_symbols.h"

using namespace zt::tb;

TEST(ArgumentChecks, DottedAddressesAsTheClientAcceptsThem) {
  for (const char *pstrIP : {"127.0.0.1", "1..2.3", "1.2.3.", "0.0.0.0", "255.255.255.255", "001.2.3.4"}) {
    EXPECT_TRUE(isDottedIpv4(pstrIP)) << pstrIP;
  }
  for (const char *pstrIP : {"256.1.1.1", "1.2.3", ".1.2.3", "localhost", "", "1.2.3.4.5", "1.2.3.4 ",
                             "1.2.3.-4", "99999999999.1.1.1"}) {
    EXPECT_FALSE(isDottedIpv4(pstrIP)) << pstrIP;
  }
  EXPECT_FALSE(isDottedIpv4(nullptr));
}

TEST(ArgumentChecks, PortsAndTextLimits) {
  EXPECT_FALSE(isValidPort(0));
  EXPECT_TRUE(isValidPort(1));
  EXPECT_TRUE(isValidPort(65535));
  EXPECT_FALSE(isValidPort(65536));
  EXPECT_FALSE(isValidPort(-1));

  std::string str128(128, 't'), str129(129, 't');
  EXPECT_TRUE(fitsTextLimit(nullptr));
  EXPECT_TRUE(fitsTextLimit(str128.c_str()));
  EXPECT_FALSE(fitsTextLimit(str129.c_str()));
  EXPECT_TRUE(isValidTopic(str128.c_str()));
  EXPECT_FALSE(isValidTopic(str129.c_str()));
  EXPECT_FALSE(isValidTopic(""));
  EXPECT_FALSE(isValidTopic(nullptr));
}

TEST(Exports, ExactlyTheTopicBusFunctions) {
  std::set<std::string> setExpected = {"ZTM2045_Create",        "ZTM2045_CreateEx",  "ZTM2045_CreateTLS",
                                       "ZTM2045_CreatePSK",     "ZTM2045_Subscribe", "ZTM2045_Unsubscribe",
                                       "ZTM2045_Publish",       "ZTM2045_Exit",      "ZTM2045_GetModuleInfo",
                                       "ZTM2045_SetLogCallback"};
  EXPECT_EQ(zt::test::exportedSymbols(TOPICBUS_LIBRARY_PATH), setExpected);
}
