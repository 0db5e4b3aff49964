// Tasks in two processes over tcp://127.0.0.1, through libztmq.so: this test process and the
// ztmq_echo program, which answers every message to the address it learnt from it.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "broker.h"
#include "task_test_support.h"
#include "ztmq.h"

namespace zt::mq {
namespace {

using namespace std::chrono_literals;
using namespace test;

// A new id at a free tcp port of 127.0.0.1, configured in this process.
struct TcpTask {
  std::string strId;
  std::string strAddr;
};

TcpTask tcpTask(const std::string &strStem) {
  TcpTask task{uniqueId(strStem), "127.0.0.1:" + std::to_string(zt::test::freeTcpPort())};
  EXPECT_EQ(ZTConfigSetAddr(task.strId.c_str(), task.strAddr.c_str()), 0);
  return task;
}

// The echo program as a child process, with pipes on its standard input and output.
class EchoChild {
public:
  ~EchoChild() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      finish();
    }
  }
  // Starts it and waits for its "ready" line.
  bool start(const std::string &strId, const std::string &strAddr) {
    int arrIn[2], arrOut[2];
    if (pipe2(arrIn, O_CLOEXEC) != 0 || pipe2(arrOut, O_CLOEXEC) != 0) {
      return false;
    }
    m_pid = fork();
    if (m_pid == 0) {
      dup2(arrIn[0], STDIN_FILENO);
      dup2(arrOut[1], STDOUT_FILENO);
      execl(ZTMQ_ECHO_PATH, ZTMQ_ECHO_PATH, strId.c_str(), strAddr.c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    close(arrIn[0]);
    close(arrOut[1]);
    m_nStdin = arrIn[1];
    m_nStdout = arrOut[0];
    if (m_pid < 0) {
      return false;
    }
    // The library prints its log set-up first.
    for (std::string strLine = readLine(10s); !strLine.empty(); strLine = readLine(10s)) {
      if (strLine == "ready") {
        return true;
      }
    }
    return false;
  }
  // Closes its input, so that it ends, and returns the "got" lines it printed.
  std::vector<std::string> stop() {
    std::vector<std::string> vecLines;
    close(m_nStdin);
    m_nStdin = -1;
    for (std::string strLine = readLine(10s); !strLine.empty(); strLine = readLine(10s)) {
      if (strLine.rfind("got ", 0) == 0) {
        vecLines.push_back(strLine);
      }
    }
    EXPECT_EQ(finish(), 0);
    return vecLines;
  }

private:
  // One line without its end; empty at the end of the output or after the time-out.
  std::string readLine(std::chrono::milliseconds timeout) {
    std::string strLine;
    char c = 0;
    pollfd item{m_nStdout, POLLIN, 0};
    while (poll(&item, 1, int(timeout.count())) == 1 && read(m_nStdout, &c, 1) == 1 && c != '\n') {
      strLine += c;
    }
    return strLine;
  }
  int finish() {
    int nStatus = 0;
    waitpid(m_pid, &nStatus, 0);
    m_pid = -1;
    if (m_nStdin >= 0) {
      close(m_nStdin);
    }
    close(m_nStdout);
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
  }
  pid_t m_pid = -1;
  int m_nStdin = -1;
  int m_nStdout = -1;
};

struct EchoLine {
  std::string strSource, strSrcAddr;
  int nSize = -1, nSn = 0, nReply = 1;
};

EchoLine parseLine(const std::string &strLine) {
  std::istringstream in(strLine);
  std::string strWord;
  EchoLine line;
  in >> strWord >> line.strSource >> line.strSrcAddr >> line.nSize >> line.nSn >> line.nReply;
  return line;
}

TEST(TwoProcesses, PayloadsAndRepliesToTheLearntAddress) {
  const TcpTask a = tcpTask("procA");
  const TcpTask b = tcpTask("procB");
  const std::string &strA = a.strId, &strAddrA = a.strAddr, &strB = b.strId, &strAddrB = b.strAddr;
  Recorder replies;
  Tasks tasks;
  ASSERT_EQ(ZTCreateTaskEx(tasks.add(strA), Recorder::onMessageEx, nullptr, &replies), 0);
  EchoChild child;
  ASSERT_TRUE(child.start(strB, strAddrB));

  const size_t kSizes[] = {0, 1, 65536, 1048576};
  // The tcp connection comes up in the background; until then the probe finds nobody.
  ASSERT_TRUE(zt::test::waitFor([&] { return ZTSendMessage(strA.c_str(), strB.c_str(), "", 0, 10) == 0; }));
  for (size_t i = 1; i < 4; ++i) {
    std::string strData = pattern(kSizes[i], int(i));
    ASSERT_EQ(ZTSendMessage(strA.c_str(), strB.c_str(), strData.data(), int(strData.size()), 10 + int(i)), 0);
  }
  ASSERT_TRUE(replies.waitForCount(4));
  std::vector<Received> vecReplies = replies.messages();
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(vecReplies[i].strSource, strB);
    EXPECT_EQ(vecReplies[i].strSrcAddr, strAddrB);
    EXPECT_EQ(vecReplies[i].strDest, strA);
    EXPECT_EQ(vecReplies[i].nInfoSn, 10 + int(i));
    EXPECT_EQ(vecReplies[i].strData, i == 0 ? "" : pattern(kSizes[i], int(i))) << "size " << kSizes[i];
  }
  std::vector<std::string> vecLines = child.stop();
  ASSERT_EQ(vecLines.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EchoLine line = parseLine(vecLines[i]);
    EXPECT_EQ(line.strSource, strA);
    EXPECT_EQ(line.strSrcAddr, strAddrA);
    EXPECT_EQ(line.nSize, int(kSizes[i]));
    EXPECT_EQ(line.nSn, 10 + int(i));
    EXPECT_EQ(line.nReply, 0);
  }
}

// A proxy task that forwards every message addressed to another task.
void forward(const char *pstrSource, const char *pData, int nSize, void *pUser, const ZtmqRecvInfo *pInfo) {
  Recorder::onMessageEx(pstrSource, pData, nSize, pUser, pInfo);
  if (pInfo->proxy != nullptr) {
    ZTProxySendMessage(pInfo->proxy, pstrSource, pInfo->dest, pData, nSize, pInfo->sn);
  }
}

TEST(TwoProcesses, ProxyRouteWithTheReceiverLearningTheProxysAddress) {
  std::string strS = uniqueId("procS");
  const TcpTask p = tcpTask("procP");
  const TcpTask d = tcpTask("procD");
  const std::string &strP = p.strId, &strAddrP = p.strAddr, &strD = d.strId, &strAddrD = d.strAddr;
  ASSERT_EQ(ZTConfigSetProxy(strD.c_str(), strP.c_str()), 0);
  Recorder atS, atP;
  Tasks tasks;
  ASSERT_EQ(ZTCreateTaskEx(tasks.add(strS), Recorder::onMessageEx, nullptr, &atS), 0);
  ASSERT_EQ(ZTCreateProxyTask(tasks.add(strP), forward, nullptr, &atP), 0);
  EchoChild child;
  ASSERT_TRUE(child.start(strD, strAddrD));

  // S -> P -> D, and D's answer D -> P -> S. Until the proxy's connection to D is up, its
  // forward finds nobody; the first message that comes back is the one checked.
  int nSn = 0;
  while (atS.count() == 0 && nSn < 20) {
    ASSERT_EQ(ZTSendMessage(strS.c_str(), strD.c_str(), "through the proxy", 17, ++nSn), 0);
    atS.waitForCount(1, 1s);
  }
  ASSERT_EQ(atS.count(), 1u);
  Received answer = atS.messages()[0];
  EXPECT_EQ(answer.strSource, strD);
  EXPECT_EQ(answer.strData, "through the proxy");
  EXPECT_EQ(answer.strSrcAddr, strAddrP);
  EXPECT_EQ(answer.strDest, strS);

  std::vector<std::string> vecLines = child.stop();
  ASSERT_FALSE(vecLines.empty());
  EchoLine line = parseLine(vecLines.back());
  EXPECT_EQ(line.strSource, strS);
  EXPECT_EQ(line.strSrcAddr, strAddrP); // D learnt to reach S through P
  EXPECT_EQ(line.nSn, answer.nInfoSn);
  EXPECT_EQ(line.nReply, 0);
  std::vector<Received> vecAtP = atP.messages();
  ASSERT_GE(vecAtP.size(), 2u);
  EXPECT_EQ(vecAtP.back().strSource, strD);
  EXPECT_EQ(vecAtP.back().strDest, strS);
  EXPECT_EQ(vecAtP.back().strProxy, strP);
}

} // namespace
} // namespace zt::mq
