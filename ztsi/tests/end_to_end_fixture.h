// The fixture of the tests that run a driver and an application against the real broker.
#pragma once

#include "broker_suite.h"
#include "end_to_end_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace zt::test {

class EndToEnd : public BrokerSuite {
protected:
  void SetUp() override {
    ASSERT_TRUE(broker().running());
    m_pDriver = std::make_unique<TestDriver>(port());
    ASSERT_TRUE(m_pDriver->valid());
  }

  static int port() { return broker().port(); }
  std::string address() const { return "127.0.0.1:" + std::to_string(port()); }

  std::unique_ptr<TestDriver> m_pDriver;
};

} // namespace zt::test
