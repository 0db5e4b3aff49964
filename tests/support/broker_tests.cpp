#include "broker.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

TEST(BrokerFixture, StartsRestartsOnTheSamePortAndStops) {
  zt::test::Broker broker;
  ASSERT_GT(broker.port(), 0);
  ASSERT_TRUE(broker.start());
  pid_t first = broker.pid();
  EXPECT_EQ(kill(first, 0), 0);

  int nPort = broker.port();
  ASSERT_TRUE(broker.restart());
  EXPECT_EQ(broker.port(), nPort);
  EXPECT_NE(broker.pid(), first);
  EXPECT_NE(kill(first, 0), 0) << "the first broker process must be gone";

  pid_t second = broker.pid();
  broker.stop();
  EXPECT_FALSE(broker.running());
  EXPECT_NE(kill(second, 0), 0);
}

TEST(BrokerFixture, DestructorStopsTheBroker) {
  pid_t pid = -1;
  {
    zt::test::Broker broker;
    ASSERT_TRUE(broker.start());
    pid = broker.pid();
  }
  EXPECT_NE(kill(pid, 0), 0);
}
