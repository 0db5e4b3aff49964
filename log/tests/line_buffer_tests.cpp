#include "line_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cwchar>
#include <string>

using zt::log::LineBuffer;

namespace {

bool appendFormatted(LineBuffer &buffer, const char *pstrFormat, ...) __attribute__((format(printf, 2, 3)));
bool appendFormatted(LineBuffer &buffer, const char *pstrFormat, ...) {
  va_list args;
  va_start(args, pstrFormat);
  bool bResult = buffer.appendFormat(pstrFormat, args);
  va_end(args);
  return bResult;
}

} // namespace

// Text that outgrows the fixed buffer moves to the heap whole, at every step and through
// formatting, and stays zero-terminated.
TEST(LineBuffer, GrowsPastTheFixedBufferWithoutLosingText) {
  for (size_t nFirst : {size_t(0), size_t(1000), LineBuffer::kFixedChars, size_t(3000)}) {
    LineBuffer buffer;
    const std::string strFirst(nFirst, 'a');
    buffer.append(strFirst.data(), strFirst.size());
    const std::string strFormatted(LineBuffer::kFixedChars + 7, 'b');
    ASSERT_TRUE(appendFormatted(buffer, "<%s>", strFormatted.c_str()));
    buffer.append("\r\n");
    const std::string strExpected = strFirst + "<" + strFormatted + ">\r\n";
    ASSERT_EQ(buffer.size(), strExpected.size()) << nFirst;
    EXPECT_EQ(std::string(buffer.data(), buffer.size()), strExpected);
    EXPECT_EQ(buffer.data()[buffer.size()], '\0');
  }
}

TEST(LineBuffer, DecimalsWithSign) {
  LineBuffer buffer;
  buffer.appendDecimal(0);
  buffer.append(" ");
  buffer.appendDecimal(1234);
  buffer.append(" ");
  buffer.appendDecimal(-5);
  buffer.append(" ");
  buffer.appendDecimal(INT_MIN);
  buffer.append(" ");
  buffer.appendDecimal(INT_MAX);
  EXPECT_STREQ(buffer.data(), "0 1234 -5 -2147483648 2147483647");
}

// A message that cannot be encoded adds nothing and says so; what was there stays.
TEST(LineBuffer, EncodingErrorAppendsNothing) {
  LineBuffer buffer;
  buffer.append("kept");
  const wchar_t szWide[] = {static_cast<wchar_t>(0xD800), 0}; // no multibyte form in any locale
  EXPECT_FALSE(appendFormatted(buffer, "%ls", szWide));
  EXPECT_STREQ(buffer.data(), "kept");
  EXPECT_EQ(buffer.size(), 4u);
}
