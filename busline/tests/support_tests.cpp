// The local IP list and the library log level mapping.
#include <gtest/gtest.h>
#include <mosquitto.h>

#include "local_ip_list.h"
#include "logger.h"
#include "zt_mosquitto_sdk.h"

using namespace zt::bus;

TEST(LocalIpList, JoinsAddressesInOrderWithoutEmptyOrUnspecified) {
  std::vector<zt::platform::Adapter> vecAdapters(2);
  vecAdapters[0].vecIpv4 = {"192.168.1.20", "0.0.0.0", ""};
  vecAdapters[1].vecIpv4 = {"10.0.0.7", "192.168.1.20"};
  EXPECT_EQ(joinIpList(vecAdapters), "192.168.1.20|10.0.0.7|192.168.1.20");
  EXPECT_EQ(joinIpList({}), "");
}

TEST(LibraryLog, LevelsMapToTheLogModule) {
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_INFO), zt::log::LOG_INFO);
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_NOTICE), zt::log::LOG_NOTICE);
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_WARNING), zt::log::LOG_WARN);
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_ERR), zt::log::LOG_ERROR);
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_DEBUG), zt::log::LOG_DEBUG);
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_SUBSCRIBE), zt::log::LOG_DEBUG);
}
