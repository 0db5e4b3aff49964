// The fixture of the tests that run a driver and an application against the real broker.
#pragma once

#include "broker_suite.h"
#include "end_to_end_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

  // The answer of one sn, once it has arrived.
  static ParsedAnswer answerOf(TestApp &app, int nSn, const std::string &strDevId) {
    EXPECT_TRUE(waitFor([&] { return !app.withSn("answer", nSn).empty(); }, std::chrono::milliseconds(5000)))
        << "sn " << nSn;
    std::vector<Delivery> vecAnswers = app.withSn("answer", nSn);
    if (vecAnswers.empty()) {
      return ParsedAnswer();
    }
    EXPECT_EQ(vecAnswers[0].strDevId, strDevId);
    EXPECT_NE(vecAnswers[0].threadId, std::this_thread::get_id());
    return parseAnswer(vecAnswers[0].strData);
  }

  std::unique_ptr<TestDriver> m_pDriver;
};

} // namespace zt::test
