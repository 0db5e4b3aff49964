// The address and proxy tables through the exported calls, the ztmq.cfg log settings and the
// trace file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>

#include "log_settings.h"
#include "task_test_support.h"
#include "trace_file.h"
#include "ztmq.h"

namespace zt::mq {
namespace {

using namespace test;

class TempDir {
public:
  TempDir() {
    char szTemplate[] = "/tmp/ztmq_test_XXXXXX";
    m_strPath = mkdtemp(szTemplate) != nullptr ? szTemplate : "";
  }
  ~TempDir() {
    if (!m_strPath.empty()) {
      std::string strCommand = "rm -rf '" + m_strPath + "'";
      if (std::system(strCommand.c_str()) != 0) {
        // A directory left behind in /tmp does no harm.
      }
    }
  }
  const std::string &path() const { return m_strPath; }
  std::string read(const std::string &strName) const {
    std::ifstream file(m_strPath + "/" + strName, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  void write(const std::string &strName, const std::string &strText) const {
    std::ofstream(m_strPath + "/" + strName, std::ios::binary) << strText;
  }

private:
  std::string m_strPath;
};

TEST(AddressTable, SetAddrChecksTheAddress) {
  std::string strId = uniqueId("addr");
  EXPECT_EQ(ZTConfigSetAddr(strId.c_str(), "192.168.1.5:1023"), -15);
  EXPECT_EQ(ZTConfigIDIsSet(strId.c_str()), -1);
  EXPECT_EQ(ZTConfigSetAddr(strId.c_str(), "192.168.1.5:1024"), 0);
  char szAddr[ZTMQ_ADDR_BUFFER_SIZE];
  ASSERT_EQ(ZTConfigGetAddr(strId.c_str(), szAddr), 0);
  EXPECT_STREQ(szAddr, "192.168.1.5:1024");
  EXPECT_EQ(ZTConfigSetAddr(strId.c_str(), "taskB"), 0);
  ASSERT_EQ(ZTConfigGetAddr(strId.c_str(), szAddr), 0);
  EXPECT_STREQ(szAddr, "taskB");
  EXPECT_EQ(ZTConfigSetAddr(nullptr, "taskB"), -6);
  EXPECT_EQ(ZTConfigSetAddr(strId.c_str(), nullptr), -12);
  EXPECT_EQ(ZTConfigSetAddr(strId.c_str(), ""), -12);
  EXPECT_EQ(ZTConfigSetAddr(strId.c_str(), std::string(64, 'a').c_str()), -15);
  ASSERT_EQ(ZTConfigGetAddr(strId.c_str(), szAddr), 0);
  EXPECT_STREQ(szAddr, "taskB"); // refused addresses changed nothing
}

TEST(AddressTable, AnIdWithoutAddressBecomesItsOwn) {
  std::string strId = uniqueId("self");
  EXPECT_EQ(ZTConfigIDIsSet(strId.c_str()), -1);
  EXPECT_EQ(ZTConfigIDIsSetFast(strId.c_str()), -1);
  char szAddr[ZTMQ_ADDR_BUFFER_SIZE];
  ASSERT_EQ(ZTConfigGetAddr(strId.c_str(), szAddr), 0);
  EXPECT_EQ(std::string(szAddr), strId);
  EXPECT_EQ(ZTConfigIDIsSet(strId.c_str()), 0);
  EXPECT_EQ(ZTConfigIDIsSetFast(strId.c_str()), 0);
  EXPECT_EQ(ZTConfigIDIsSet(nullptr), -1);
  EXPECT_EQ(ZTConfigGetAddr(nullptr, szAddr), -6);
  EXPECT_EQ(ZTConfigGetAddr(strId.c_str(), nullptr), -1);
}

TEST(AddressTable, GetAddrNeverWritesMoreThan64Bytes) {
  char arrOut[80];
  std::memset(arrOut, '#', sizeof arrOut);
  std::string strMax(63, 'm');
  ASSERT_EQ(ZTConfigGetAddr(strMax.c_str(), arrOut), 0);
  EXPECT_EQ(std::string(arrOut), strMax);
  EXPECT_EQ(arrOut[64], '#');
  // An id too long for a task would be its own too-long address.
  std::memset(arrOut, '#', sizeof arrOut);
  EXPECT_EQ(ZTConfigGetAddr(std::string(200, 'L').c_str(), arrOut), -5);
  EXPECT_EQ(arrOut[0], '#');
}

TEST(ProxyTable, SetGetAndClear) {
  std::string strId = uniqueId("dest");
  const char *pstrNone = ZTConfigGetProxy(strId.c_str());
  ASSERT_NE(pstrNone, nullptr);
  EXPECT_STREQ(pstrNone, "");
  EXPECT_STREQ(ZTConfigGetProxy(nullptr), "");
  EXPECT_EQ(ZTConfigSetProxy(strId.c_str(), "proxyP"), 0);
  EXPECT_STREQ(ZTConfigGetProxy(strId.c_str()), "proxyP");
  EXPECT_EQ(ZTConfigSetProxy(strId.c_str(), nullptr), 0);
  EXPECT_STREQ(ZTConfigGetProxy(strId.c_str()), "");
  EXPECT_EQ(ZTConfigSetProxy(nullptr, "proxyP"), -6);
}

TEST(ProxyTable, ReturnedTextStaysValidWhileOtherThreadsAsk) {
  std::string strA = uniqueId("destA");
  std::string strB = uniqueId("destB");
  ZTConfigSetProxy(strA.c_str(), "proxy-of-a");
  ZTConfigSetProxy(strB.c_str(), "proxy-of-b-with-a-longer-name-than-the-first");
  const char *pstrMine = ZTConfigGetProxy(strA.c_str());
  std::thread other([&] {
    for (int i = 0; i < 100; ++i) {
      EXPECT_STREQ(ZTConfigGetProxy(strB.c_str()), "proxy-of-b-with-a-longer-name-than-the-first");
    }
  });
  other.join();
  EXPECT_STREQ(pstrMine, "proxy-of-a");
}

LogSettings parsed(std::initializer_list<const char *> lines) {
  LogSettings settings;
  settings.strDir = "/default";
  for (const char *pstrLine : lines) {
    parseConfigLine(pstrLine, "ztmq.cfg", settings);
  }
  return settings;
}

TEST(LogSettings, LinesOfKeyAndValue) {
  LogSettings settings = parsed({"level = warn", "maxSize = 5000"});
  EXPECT_EQ(settings.nLevel, 4);
  EXPECT_EQ(settings.uMaxSizeMiB, 1024u);
  EXPECT_EQ(settings.strDir, "/default");

  settings = parsed({"  level=info", "maxSize=5", "path =/var/log/app  trailing words"});
  EXPECT_EQ(settings.nLevel, 6);
  EXPECT_EQ(settings.uMaxSizeMiB, 5u);
  EXPECT_EQ(settings.strDir, "/var/log/app");

  EXPECT_EQ(parsed({"level = debug"}).nLevel, 7);
  EXPECT_EQ(parsed({"level = error"}).nLevel, 3);
  EXPECT_EQ(parsed({"level = fatal"}).nLevel, 0);
  EXPECT_EQ(parsed({"level = loud"}).nLevel, 0);
}

TEST(LogSettings, WhatIsNotUnderstoodChangesNothing) {
  LogSettings settings = parsed({"", "   ", "colour = blue", "maxSize = -5", "maxSize = 12MB", "maxSize = 0",
                                 "path = "});
  EXPECT_EQ(settings.nLevel, 7);
  EXPECT_EQ(settings.uMaxSizeMiB, 10u);
  EXPECT_EQ(settings.strDir, "/default");
  // A byte of 0x80 or more ends the line there.
  EXPECT_EQ(parsed({"level = info\xE4\xB8\xAD"}).nLevel, 6);
  EXPECT_EQ(parsed({"level = \xE4info"}).nLevel, 0);
}

TEST(LogSettings, ReadFromTheFileBesideTheProgram) {
  TempDir dir;
  LogSettings defaults = readLogSettings(dir.path());
  EXPECT_EQ(defaults.strDir, dir.path());
  EXPECT_EQ(defaults.nLevel, 7);
  EXPECT_EQ(defaults.uMaxSizeMiB, 10u);
  dir.write("ztmq.cfg", "path = /srv/logs\r\nlevel = error\nmaxSize = 3\n");
  LogSettings settings = readLogSettings(dir.path());
  EXPECT_EQ(settings.strDir, "/srv/logs");
  EXPECT_EQ(settings.nLevel, 3);
  EXPECT_EQ(settings.uMaxSizeMiB, 3u);
}

TEST(TraceFile, TimeStampedLines) {
  TempDir dir;
  {
    TraceFile trace(dir.path());
    trace.write("first line", 10);
    trace.write("second", 6);
  }
  std::string strText = dir.read("ztmq_trace.log");
  std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d first line\n\d{4}-\d\d-\d\d \d\d:\d\d:\d\d second\n)");
  EXPECT_TRUE(std::regex_match(strText, line)) << strText;
}

TEST(TraceFile, RotatesAt0x100001Bytes) {
  TempDir dir;
  dir.write("ztmq_trace_bak.log", "old backup");
  dir.write("ztmq_trace.log", std::string(TraceFile::kRotateSize - 1, 'a'));
  TraceFile trace(dir.path());
  trace.write("appended", 8); // the file was below the limit
  std::string strText = dir.read("ztmq_trace.log");
  EXPECT_EQ(strText.size(), TraceFile::kRotateSize - 1 + 29);
  EXPECT_EQ(dir.read("ztmq_trace_bak.log"), "old backup");

  trace.write("next", 4); // now it is at the limit: a new file is begun
  EXPECT_EQ(dir.read("ztmq_trace_bak.log"), strText);
  std::string strNew = dir.read("ztmq_trace.log");
  EXPECT_EQ(strNew.size(), 25u);
  EXPECT_EQ(strNew.substr(20), "next\n");
  trace.write("more", 4); // the new file stays open
  EXPECT_EQ(dir.read("ztmq_trace.log").size(), 50u);
}

} // namespace
} // namespace zt::mq
