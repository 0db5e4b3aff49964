// Two processes on one loopback link: the child connects as a client, completes the key
// exchange with the parent's server and gets every frame it sends echoed back.
#include "ztip_link_test_support.h"

#include "broker.h"

#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zt::ip::test {
namespace {

using namespace std::chrono_literals;

const uint16_t kModes[] = {0x0101, 0x0102, 0x0115, 0x0123, 0x0300, 0x0302, 0x030F, 0x8000};
const size_t kSizes[] = {0, 7, 100, 4096, 120000};

void echoFrame(uint16_t uSocketId, uint16_t uServerSocketId, ZTIP_Head_Para head, uint32_t uLen,
               const uint8_t *pData, const char *pstrIp, const char *pstrPort) {
  recordFrame(uSocketId, uServerSocketId, head, uLen, pData, pstrIp, pstrPort);
  ztIP_SendBySocketId(uSocketId, &head, 0, static_cast<int>(uLen), pData);
}

// The child's whole life; its exit code tells the parent what went wrong.
int runClient(int nPort) {
  if (ztIP_Init(0, 5, 0x22, 0, nullptr, nullptr, nullptr, nullptr) != 0x01)
    return 10;
  uint16_t uClient = 0;
  bool bConnected =
      waitUntil([&] { return ztIP_StartTCPClient(&uClient, recordFrame, "127.0.0.1", nPort) == 0x01; });
  if (!bConnected)
    return 11;
  size_t nSent = 0;
  for (uint16_t uMode : kModes)
    for (size_t nSize : kSizes) {
      ZTIP_Head_Para head = makeHead(uMode, uMode, static_cast<uint32_t>(nSize));
      std::vector<uint8_t> vecData = pattern(nSize, static_cast<uint8_t>(uMode));
      uint8_t uRet = 0;
      waitUntil([&] {
        ZTIP_Head_Para copy = head;
        uRet = ztIP_SendBySocketId(uClient, &copy, 0, static_cast<int>(nSize), vecData.data());
        return uRet != 0xC3;
      });
      if (uRet != 0x01)
        return 12;
      ++nSent;
    }
  if (!waitUntil([&] { return recorder().frames().size() == nSent; }, 10s))
    return 13;
  for (const ReceivedFrame &frame : recorder().frames())
    if (frame.vecData != pattern(frame.head.unit_id, static_cast<uint8_t>(frame.head.cmd)) ||
        frame.head.producttype != 1)
      return 14;
  ztIP_Exit();
  return 0;
}

class TwoProcessLink : public LinkTest {};

TEST_F(TwoProcessLink, ChildClientExchangesEncryptedFramesWithParentServer) {
  m_nPort = zt::test::freeTcpPort();
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0)
    _exit(runClient(m_nPort));
  init(0);
  uint16_t uServer = 0;
  ASSERT_EQ(ztIP_StartTCPServer(&uServer, echoFrame, "127.0.0.1", m_nPort), 0x01);
  int nStatus = 0;
  waitpid(pid, &nStatus, 0);
  ASSERT_TRUE(WIFEXITED(nStatus));
  EXPECT_EQ(WEXITSTATUS(nStatus), 0);
  std::vector<ReceivedFrame> vecFrames = recorder().frames();
  ASSERT_EQ(vecFrames.size(), std::size(kModes) * std::size(kSizes));
  for (const ReceivedFrame &frame : vecFrames) {
    EXPECT_EQ(frame.head.producttype, 5);
    EXPECT_EQ(frame.vecData, pattern(frame.head.unit_id, static_cast<uint8_t>(frame.head.cmd)));
  }
}

} // namespace
} // namespace zt::ip::test
