// The library log: line format, switches, size limit, daily files, trace file, transfer
// records and the broadcast hook.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/ZTIPMyFileLog.h"
#include "log/ztip_transfer_log.h"
#include "log_test_support.h"

using namespace zt::ip;
using zt::log::test::localTimePoint;
using zt::log::test::readFile;
using zt::log::test::setTestClock;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> g_vecBroadcast;
void collectBroadcast(const char *pstrText, size_t nLen) {
  g_vecBroadcast.emplace_back(pstrText, nLen);
}
void loggingBroadcast(const char *pstrText, size_t nLen) {
  g_vecBroadcast.emplace_back(pstrText, nLen);
  ZTIPLog(kLogError, kAreaOperation, "broadcast send failed");
}

class LibraryLogTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("ztip_log_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    setTestClock(localTimePoint(2021, 10, 8, 10, 6, 50, 123));
    setLogClock(zt::log::test::testClock);
    openLibraryLog(m_dir.string());
  }
  void TearDown() override {
    closeLibraryLog();
    setLogClock(nullptr);
    setLogFlag(1);
    setLogLevel(0);
    setTransLog(0);
    setLogBroadcaster(nullptr);
    g_vecBroadcast.clear();
    fs::remove_all(m_dir);
  }
  std::string dayLog(const char *pstrDate) {
    return readFile(m_dir / "log" / (std::string(pstrDate) + "-ztip.log"));
  }

  fs::path m_dir;
};

} // namespace

TEST_F(LibraryLogTest, LineFormatAndDailyFileName) {
  EXPECT_EQ((m_dir / "log" / "2021-10-08-ztip.log").string(), libraryLogPath());
  EXPECT_TRUE(fs::exists(m_dir / "log" / "2021-10-08-ztip.log")); // created at opening
  ZTIPLog(kLogEvent, kAreaOperation, "Tcp Server:[create tcp server success] socket:%d,SocketId:%d", 7, 15);
  ZTIPLog(kLogStep, kAreaConnection, "ends with a break\n");
  EXPECT_EQ("2021-10-08 10:06:50.123  :log: level: 2, area: 5, Tcp Server:[create tcp server success] "
            "socket:7,SocketId:15\n"
            "2021-10-08 10:06:50.123  :log: level: 1, area: 6, ends with a break\n\n",
            dayLog("2021-10-08"));
}

TEST_F(LibraryLogTest, LevelFilterFlagAndSizeLimit) {
  setLogLevel(3);
  ZTIPLog(kLogEvent, kAreaThread, "event");
  ZTIP_Head_Para para{};
  para.cmd = 0x2001;
  logTransferRecord(true, true, para, 10, 5, "127.0.0.1", "8000");
  ZTIPLog(kLogError, kAreaThread, "error");
  EXPECT_EQ("2021-10-08 10:06:50.123  :log: level: 3, area: 2, error\n", dayLog("2021-10-08"));

  setLogLevel(0);
  setLogFlag(0);
  ZTIPLog(kLogError, kAreaThread, "flag off");
  setLogFlag(1);
  ZTIPLog(kLogError, kAreaThread, "%s", "");
  ZTIPLog(kLogError, kAreaThread, "%s", std::string(1025, 'x').c_str());
  ZTIPLog(kLogError, kAreaThread, "%s", std::string(1024, 'y').c_str());
  std::string strLog = dayLog("2021-10-08");
  EXPECT_EQ(std::string::npos, strLog.find("flag off"));
  EXPECT_EQ(std::string::npos, strLog.find('x'));
  EXPECT_NE(std::string::npos, strLog.find("area: 2, " + std::string(1024, 'y') + "\n"));
  EXPECT_EQ(2, std::count(strLog.begin(), strLog.end(), '\n'));
}

TEST_F(LibraryLogTest, LineAfterMidnightGoesToNewDayFile) {
  setTestClock(localTimePoint(2021, 10, 8, 23, 59, 59, 900));
  ZTIPLog(kLogEvent, kAreaThread, "before midnight");
  setTestClock(localTimePoint(2021, 10, 9, 0, 0, 0, 100));
  ZTIPLog(kLogEvent, kAreaThread, "after midnight");
  EXPECT_NE(std::string::npos,
            dayLog("2021-10-08").find("23:59:59.900  :log: level: 2, area: 2, before midnight"));
  EXPECT_EQ(std::string::npos, dayLog("2021-10-08").find("after midnight"));
  EXPECT_EQ("2021-10-09 00:00:00.100  :log: level: 2, area: 2, after midnight\n", dayLog("2021-10-09"));
  EXPECT_EQ((m_dir / "log" / "2021-10-09-ztip.log").string(), libraryLogPath());
}

TEST_F(LibraryLogTest, TraceFileTakesOpeningAndFirstLineOnly) {
  ZTIPLog(kLogEvent, kAreaThread, "first");
  ZTIPLog(kLogEvent, kAreaThread, "second");
  std::string strLogPath = (m_dir / "log" / "2021-10-08-ztip.log").string();
  std::string strLogDir = (m_dir / "log").string();
  EXPECT_EQ("*glogFilePath:" + strLogPath + "\n*glogFilePath_bak:" + strLogDir + "\n*gbFileLog:1\n" +
                "**glogFilePath:" + strLogPath + "\n**glogFilePath_bak:" + strLogDir + "\n**gbFileLog:1\n" +
                "**message:first\n",
            readFile(m_dir / "test.log"));
}

TEST_F(LibraryLogTest, TransferRecordsSkipLibraryCommands) {
  ZTIP_Head_Para para{0x0101, 0x21, 0x43, 0x2001, 0x4F4B, 0x01, 0x0A0B0C0D, 0x01020304};
  logTransferRecord(true, true, para, 13, 9, "10.0.0.2", "5000");
  logTransferRecord(false, false, para, 0, 3, "10.0.0.3", "6000");
  for (uint16_t uCmd : {0x0606, 0x0607, 0x0706}) {
    para.cmd = uCmd;
    logTransferRecord(false, true, para, 32, 9, "10.0.0.2", "5000");
  }
  EXPECT_EQ(
      "2021-10-08 10:06:50.123  :log: level: 0, area: 5, {\"flag\":\"send\",\"streamtype\":\"tcp\","
      "\"socket\":\"9\",\"ip\":\"10.0.0.2\",\"port\":\"5000\",\"ZTIP_Head_Para\":{\"crypt_mode\":0x0101,"
      "\"protocol_type\":0x21,\"func_code\":0x43,\"cmd\":0x2001,\"status\":0x4f4b,\"producttype\":0x01,"
      "\"unit_id\":0x0a0b0c0d,\"session_id\":0x01020304, data_len:0x0000000d}}\n\n"
      "2021-10-08 10:06:50.123  :log: level: 0, area: 5, {\"flag\":\"receive\",\"streamtype\":\"udp\","
      "\"socket\":\"3\",\"ip\":\"10.0.0.3\",\"port\":\"6000\",\"ZTIP_Head_Para\":{\"crypt_mode\":0x0101,"
      "\"protocol_type\":0x21,\"func_code\":0x43,\"cmd\":0x2001,\"status\":0x4f4b,\"producttype\":0x01,"
      "\"unit_id\":0x0a0b0c0d,\"session_id\":0x01020304, data_len:0x00000000}}\n\n",
      dayLog("2021-10-08"));
}

TEST_F(LibraryLogTest, BroadcastOnlyWithSwitchAndNeverRecursive) {
  setLogBroadcaster(collectBroadcast);
  ZTIPLog(kLogEvent, kAreaThread, "quiet");
  setTransLog(1);
  ZTIPLog(kLogEvent, kAreaThread, "loud %d", 1);
  setLogLevel(3);
  ZTIPLog(kLogEvent, kAreaThread, "filtered");
  EXPECT_EQ(std::vector<std::string>{"loud 1"}, g_vecBroadcast);

  // A broadcaster that itself logs: its line is written but not broadcast again.
  setLogLevel(0);
  g_vecBroadcast.clear();
  setLogBroadcaster(loggingBroadcast);
  ZTIPLog(kLogEvent, kAreaThread, "outer");
  EXPECT_EQ(std::vector<std::string>{"outer"}, g_vecBroadcast);
  std::string strLog = dayLog("2021-10-08");
  EXPECT_NE(std::string::npos, strLog.find("area: 5, broadcast send failed\n"));
  EXPECT_NE(std::string::npos, strLog.find("area: 2, outer\n"));
}

// The file stays open between lines; a switch being set makes the next line open it anew, so
// a file removed meanwhile comes back, and every line is in the file as soon as the call returns.
TEST_F(LibraryLogTest, RemovedFileComesBackAfterSwitchIsSet) {
  fs::path logFile = m_dir / "log" / "2021-10-08-ztip.log";
  ZTIPLog(kLogEvent, kAreaThread, "first");
  EXPECT_EQ("2021-10-08 10:06:50.123  :log: level: 2, area: 2, first\n", dayLog("2021-10-08"));
  fs::remove(logFile);
  setLogLevel(0);
  ZTIPLog(kLogEvent, kAreaThread, "after reopen");
  EXPECT_EQ("2021-10-08 10:06:50.123  :log: level: 2, area: 2, after reopen\n", dayLog("2021-10-08"));
  for (auto setSwitch : {+[] { setLogFlag(1); }, +[] { setTransLog(0); }, +[] { setCompleteLog(0); }}) {
    fs::remove(logFile);
    setSwitch();
    ZTIPLog(kLogEvent, kAreaThread, "again");
    EXPECT_EQ("2021-10-08 10:06:50.123  :log: level: 2, area: 2, again\n", dayLog("2021-10-08"));
  }
}

// A log directory that cannot take the file loses the lines silently; once it can, lines are
// written again.
TEST_F(LibraryLogTest, UnopenableFileLosesLinesUntilItCanBeOpened) {
  fs::remove_all(m_dir / "log");
  fs::create_directories(m_dir / "log" / "2021-10-08-ztip.log"); // a directory in the file's place
  setLogLevel(0);
  ZTIPLog(kLogEvent, kAreaThread, "lost");
  fs::remove_all(m_dir / "log" / "2021-10-08-ztip.log");
  ZTIPLog(kLogEvent, kAreaThread, "kept");
  EXPECT_EQ("2021-10-08 10:06:50.123  :log: level: 2, area: 2, kept\n", dayLog("2021-10-08"));
}

TEST_F(LibraryLogTest, NothingWrittenAfterClose) {
  closeLibraryLog();
  ZTIPLog(kLogError, kAreaThread, "after exit");
  EXPECT_EQ("", libraryLogPath());
  EXPECT_EQ("", dayLog("2021-10-08"));
}

TEST_F(LibraryLogTest, LinesFromManyThreadsStayWhole) {
  std::vector<std::thread> vecThreads;
  for (int t = 0; t < 4; ++t)
    vecThreads.emplace_back([t] {
      for (int i = 0; i < 250; ++i)
        ZTIPLog(kLogEvent, kAreaThread, "thread %d line %03d %s", t, i,
                std::string(200, static_cast<char>('a' + t)).c_str());
    });
  for (std::thread &thread : vecThreads)
    thread.join();
  std::istringstream in(dayLog("2021-10-08"));
  std::string strLine;
  std::vector<int> vecCount(4, 0);
  while (std::getline(in, strLine)) {
    int nThread = -1, nIndex = -1;
    ASSERT_EQ(2, std::sscanf(strLine.c_str(),
                             "2021-10-08 10:06:50.123  :log: level: 2, area: 2, thread %d line %d", &nThread,
                             &nIndex))
        << strLine;
    ASSERT_TRUE(nThread >= 0 && nThread < 4);
    EXPECT_EQ(std::string(200, static_cast<char>('a' + nThread)), strLine.substr(strLine.size() - 200));
    ++vecCount[static_cast<size_t>(nThread)];
  }
  EXPECT_EQ(std::vector<int>(4, 250), vecCount);
}

// Lines written while another thread keeps making the file reopen (a switch set) all arrive
// whole: a writer still holding the file it took keeps using it until its line is out.
TEST_F(LibraryLogTest, LinesStayWholeWhileFileIsReopened) {
  std::atomic<bool> bDone{false};
  std::thread reopener([&bDone] {
    while (!bDone)
      setLogLevel(0);
  });
  std::vector<std::thread> vecThreads;
  for (int t = 0; t < 3; ++t)
    vecThreads.emplace_back([t] {
      for (int i = 0; i < 300; ++i)
        ZTIPLog(kLogEvent, kAreaThread, "writer %d line %03d %s", t, i, std::string(100, 'z').c_str());
    });
  for (std::thread &thread : vecThreads)
    thread.join();
  bDone = true;
  reopener.join();
  std::istringstream in(dayLog("2021-10-08"));
  std::string strLine;
  int nLines = 0;
  while (std::getline(in, strLine)) {
    int nThread = -1, nIndex = -1;
    ASSERT_EQ(2, std::sscanf(strLine.c_str(),
                             "2021-10-08 10:06:50.123  :log: level: 2, area: 2, writer %d line %d", &nThread,
                             &nIndex))
        << strLine;
    EXPECT_EQ(std::string(100, 'z'), strLine.substr(strLine.size() - 100));
    ++nLines;
  }
  EXPECT_EQ(900, nLines);
}
