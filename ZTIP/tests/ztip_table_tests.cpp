// The pieces under the threads: callback queue order, the context table's ranges and
// cursor, and the crash report ztIP_Init installs.
#include "connection/ztip_callback_queue.h"
#include "connection/ztip_context.h"
#include "ZTIP.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace zt::ip {
namespace {

void pushCmd(ZtipCallbackQueue &queue, uint16_t uCmd) {
  ZTIP_Head_Para head{};
  head.cmd = uCmd;
  uint8_t arrData[2] = {static_cast<uint8_t>(uCmd), static_cast<uint8_t>(uCmd >> 8)};
  queue.push(1, 0, head, arrData, sizeof(arrData), "127.0.0.1", "9000", nullptr);
}

TEST(CallbackQueue, KeepsOrderWhenAWrappedQueueGrows) {
  ZtipCallbackQueue queue(4, false);
  ZtipQueuedFrame frame;
  pushCmd(queue, 1);
  pushCmd(queue, 2);
  pushCmd(queue, 3);
  ASSERT_TRUE(queue.pop(frame, 0));
  ASSERT_TRUE(queue.pop(frame, 0)); // the consumer is now in the middle of the ring
  for (uint16_t uCmd = 4; uCmd <= 12; ++uCmd)
    pushCmd(queue, uCmd); // wraps, then grows twice
  EXPECT_EQ(queue.capacity(), 16u);
  for (uint16_t uCmd = 3; uCmd <= 12; ++uCmd) {
    ASSERT_TRUE(queue.pop(frame, 0));
    EXPECT_EQ(frame.head.cmd, uCmd);
    EXPECT_EQ(frame.vecData, std::vector<uint8_t>({static_cast<uint8_t>(uCmd), 0}));
    EXPECT_EQ(frame.strIp, "127.0.0.1");
  }
  EXPECT_FALSE(queue.pop(frame, 0));
}

// Data copies are reused from frame to frame: each frame still comes out with exactly its own
// bytes, whether its copy was larger or smaller before.
TEST(CallbackQueue, ReusedDataCopiesHoldEachFrameExactly) {
  ZtipCallbackQueue queue(4, false);
  ZtipQueuedFrame frame;
  ZTIP_Head_Para head{};
  for (size_t nLen : {70000, 10, 0, 65536, 3, 98272, 1, 65536}) {
    std::vector<uint8_t> vecData(nLen);
    for (size_t i = 0; i < nLen; ++i)
      vecData[i] = static_cast<uint8_t>(i * 7 + nLen);
    queue.push(1, 0, head, vecData.data(), static_cast<uint32_t>(nLen), "127.0.0.1", "9000", nullptr);
    queue.push(2, 0, head, vecData.data(), static_cast<uint32_t>(nLen / 2), "127.0.0.1", "9000", nullptr);
    ASSERT_TRUE(queue.pop(frame, 0));
    EXPECT_EQ(vecData, frame.vecData) << nLen;
    ASSERT_TRUE(queue.pop(frame, 0));
    EXPECT_EQ(std::vector<uint8_t>(vecData.begin(), vecData.begin() + nLen / 2), frame.vecData) << nLen;
  }
  EXPECT_FALSE(queue.pop(frame, 0));
}

class ContextTable : public ::testing::Test {
protected:
  void SetUp() override { clearContextTable(); }
  void TearDown() override {
    clearContextTable();
    setConnectionRangeSize(0);
  }
  // Frees a context as the threads would after closing its socket.
  void free(ZtipContext *pContext) {
    std::lock_guard<std::mutex> bufferLock(pContext->mBufferLock);
    std::lock_guard<std::mutex> statusLock(pContext->mStatusLock);
    releaseContext(*pContext);
  }
};

TEST_F(ContextTable, RangesGiveTheirOwnIds) {
  EXPECT_EQ(takeContext(ZtipRange::Udp, 100)->mSocketId, 0);
  EXPECT_EQ(takeContext(ZtipRange::Udp, 101)->mSocketId, 1);
  EXPECT_EQ(takeContext(ZtipRange::Server, 102)->mSocketId, 15);
  EXPECT_EQ(takeContext(ZtipRange::Connection, 103)->mSocketId, 30);
  for (int i = 2; i < 15; ++i)
    ASSERT_NE(takeContext(ZtipRange::Udp, 200 + i), nullptr);
  EXPECT_EQ(takeContext(ZtipRange::Udp, 300), nullptr);
  EXPECT_EQ(findContext(1530), nullptr);
  EXPECT_EQ(findContext(31), nullptr);
}

TEST_F(ContextTable, CursorWrapsToTheLowestFreeId) {
  std::vector<ZtipContext *> vecTaken;
  for (int i = 0; i < 1500; ++i)
    vecTaken.push_back(takeContext(ZtipRange::Connection, 1000 + i));
  EXPECT_EQ(vecTaken.back()->mSocketId, 1529);
  EXPECT_EQ(takeContext(ZtipRange::Connection, 5000), nullptr);
  free(vecTaken[40]); // id 70
  free(vecTaken[5]);  // id 35
  EXPECT_EQ(takeContext(ZtipRange::Connection, 5001)->mSocketId, 35);
  EXPECT_EQ(takeContext(ZtipRange::Connection, 5002)->mSocketId, 70);
}

TEST_F(ContextTable, FindsConnectionsByAddressFromTheHighestId) {
  ZtipContext *pLow = takeContext(ZtipRange::Connection, 10);
  ZtipContext *pHigh = takeContext(ZtipRange::Connection, 11);
  for (ZtipContext *pContext : {pLow, pHigh}) {
    std::strcpy(pContext->mszPeerIp, "10.0.0.1");
    std::strcpy(pContext->mszPort, "8000");
  }
  EXPECT_EQ(findConnectionByAddress("10.0.0.1", 8000), pHigh);
  EXPECT_EQ(findConnectionByAddress("10.0.0.1", 8001), nullptr);
  pHigh->mbActive = 0;
  EXPECT_EQ(findConnectionByAddress("10.0.0.1", 8000), pLow);
}

TEST(CrashHandler, InitInstallsAReportInTheWorkingDirectory) {
  char szDir[] = "/tmp/ztip-crash-XXXXXX";
  ASSERT_NE(mkdtemp(szDir), nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(szDir) != 0)
      _exit(2);
    ztIP_Init(1, 1, 0x11, 0, nullptr, nullptr, nullptr, nullptr);
    raise(SIGABRT);
    _exit(3); // not reached: the handler ends the process with the signal
  }
  int nStatus = 0;
  waitpid(pid, &nStatus, 0);
  EXPECT_TRUE(WIFSIGNALED(nStatus));
  EXPECT_EQ(WTERMSIG(nStatus), SIGABRT);
  std::ifstream dump(std::string(szDir) + "/ztipdump.dmp");
  std::stringstream content;
  content << dump.rdbuf();
  EXPECT_NE(content.str().find("signal: 6"), std::string::npos);
  EXPECT_NE(content.str().find("backtrace:"), std::string::npos);
  std::filesystem::remove_all(szDir); // the library's own log files are there too
}

} // namespace
} // namespace zt::ip
