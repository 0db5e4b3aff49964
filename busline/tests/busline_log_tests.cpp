// busline's own log file: "<program directory>/log/<program>_busline.log", headed by the
// version line, one short line "<time>  [LEVEL][thread] text\r\n" per record.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/syscall.h>
#include <unistd.h>

#include "broker.h"
#include "busline_log.h"
#include "busline_test_client.h"
#include "process_paths.h"
#include "version_info.h"

namespace {

std::string readFile(const std::string &strPath) {
  std::ifstream in(strPath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The whole line of the file that holds strMark ("" until the writer has put it out).
std::string lineWith(const std::string &strPath, const std::string &strMark) {
  std::string strLine;
  zt::test::waitFor([&] {
    const std::string strText = readFile(strPath);
    size_t nMark = strText.find(strMark);
    if (nMark == std::string::npos) {
      return false;
    }
    size_t nBegin = strText.rfind('\n', nMark);
    nBegin = nBegin == std::string::npos ? 0 : nBegin + 1;
    strLine = strText.substr(nBegin, strText.find('\n', nMark) + 1 - nBegin);
    return true;
  });
  return strLine;
}

} // namespace

TEST(BuslineLogFile, ShortLinesAfterTheVersionHeader) {
  const std::string strMark = "mark" + std::to_string(getpid()) + "_" +
                              std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  const std::string strThread = std::to_string(syscall(SYS_gettid));
  BUSLINE_LOG(zt::log::LOG_WARN, "BuslineLogFile,%s,n=%d", strMark.c_str(), 5);
  {
    // With a callback the text is formatted first, then logged as it stands: the same bytes.
    zt::bus::test::LogCapture capture;
    BUSLINE_LOG(zt::log::LOG_ERROR, "BuslineLogFile,%s,n=%d,100%%", (strMark + "cb").c_str(), 6);
    EXPECT_TRUE(capture.has(zt::log::LOG_ERROR, "BuslineLogFile," + strMark + "cb,n=6,100%"));
  }

  // The log flushes its file about once a minute; have the writer flush after every batch while
  // the lines are read back.
  zt::log::Logger::instance().applyControl(false, true, true, zt::log::LOG_DEBUG);
  const std::string strPath = zt::log::Logger::instance().filePath();
  EXPECT_EQ(strPath,
            zt::platform::executableDirectory() + "/log/" + zt::platform::programBaseName() + "_busline.log");
  const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}  )");
  const size_t nStamp = 25;
  const std::string strPlain = lineWith(strPath, "," + strMark + ",");
  ASSERT_GT(strPlain.size(), nStamp) << strPlain;
  EXPECT_TRUE(std::regex_match(strPlain.substr(0, nStamp), stamp)) << strPlain;
  EXPECT_EQ(strPlain.substr(nStamp), "[WARN][" + strThread + "] BuslineLogFile," + strMark + ",n=5\r\n");
  const std::string strFromCallback = lineWith(strPath, strMark + "cb");
  ASSERT_GT(strFromCallback.size(), nStamp) << strFromCallback;
  EXPECT_TRUE(std::regex_match(strFromCallback.substr(0, nStamp), stamp)) << strFromCallback;
  EXPECT_EQ(strFromCallback.substr(nStamp),
            "[ERROR][" + strThread + "] BuslineLogFile," + strMark + "cb,n=6,100%\r\n");

  // The file began with the version line of the build that created it.
  const std::string strHead = readFile(strPath).substr(0, 64);
  EXPECT_TRUE(std::regex_search(strHead, std::regex(std::string("^\t\tbusline V") + zt::bus::kSdkVersion +
                                                    R"( \(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\)\n\n)")))
      << strHead;
  zt::log::Logger::instance().applyControl(false, true, false, zt::log::LOG_DEBUG);
}
