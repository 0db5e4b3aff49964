// A GoogleTest fixture whose test suite shares one running broker.
#pragma once

#include "broker.h"

#include <gtest/gtest.h>

#include <memory>

namespace zt::test {

class BrokerSuite : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_pBroker = std::make_unique<Broker>();
    ASSERT_TRUE(s_pBroker->start());
  }
  static void TearDownTestSuite() { s_pBroker.reset(); }
  static Broker &broker() { return *s_pBroker; }

private:
  static inline std::unique_ptr<Broker> s_pBroker;
};

} // namespace zt::test
