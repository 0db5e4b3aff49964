// Parses a JSON text in a test; a text that does not parse fails the test and gives null.
#pragma once

#include <json/reader.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace zt::test {

inline Json::Value parseJson(const std::string &strText) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> pReader(builder.newCharReader());
  Json::Value jsonValue;
  std::string strErrors;
  EXPECT_TRUE(pReader->parse(strText.data(), strText.data() + strText.size(), &jsonValue, &strErrors))
      << strText;
  return jsonValue;
}

} // namespace zt::test
