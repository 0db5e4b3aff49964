#include "log_test_support.h"
#include "logger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace zt::log;
using namespace zt::log::test;

namespace {

// A client connection to a log's control socket.
class ControlClient {
public:
  explicit ControlClient(const std::string &strName) {
    m_fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path + 1, strName.data(), strName.size()); // abstract: a leading zero byte
    socklen_t nLength = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + strName.size());
    m_bConnected = connect(m_fd, reinterpret_cast<struct sockaddr *>(&addr), nLength) == 0;
    struct timeval timeout = {2, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~ControlClient() { close(m_fd); }

  bool connected() const { return m_bConnected; }

  // Sends one request and returns the answer.
  std::string request(const std::string &strText) {
    send(m_fd, strText.data(), strText.size(), MSG_NOSIGNAL);
    char szReply[64];
    ssize_t n = recv(m_fd, szReply, sizeof szReply, 0);
    return n > 0 ? std::string(szReply, static_cast<size_t>(n)) : std::string();
  }

private:
  int m_fd;
  bool m_bConnected;
};

const std::string kReply("test\0", 5);

} // namespace

TEST(LoggerControlSocket, AcceptsFourValidNumbersAndAnswersEveryRequest) {
  ScratchDir dir;
  const std::string strName = "ctl_test_" + std::to_string(getpid());
  zt::log::Logger logger;
  zt::log::LogOption option = fileOption(dir.path(), strName);
  option.bControlSocket = true;
  option.nLogLevel = zt::log::LOG_ERROR;
  logger.start(option);

  const std::string strSocket = Logger::controlSocketName(strName);

  {
    ControlClient client(strSocket);
    ASSERT_TRUE(client.connected());
    // Refused: level out of range, negative level, three numbers, text, overflow.
    for (const char *pstrBad : {"1|1|1|8", "1|1|1|-1", "1|1|1", "hello", "1|1|1|99999999999", "1,1,1,7"}) {
      EXPECT_EQ(client.request(pstrBad), kReply) << pstrBad;
      EXPECT_FALSE(logger.enabled(zt::log::LOG_INFO)) << pstrBad;
    }
    EXPECT_EQ(client.request("1|1|1|7"), kReply);
    EXPECT_TRUE(logger.enabled(zt::log::LOG_DEBUG));
    // Stdout off, file on, flush on: the next record is on disk at once.
    EXPECT_EQ(client.request("0|1|1|6"), kReply);
    EXPECT_FALSE(logger.enabled(zt::log::LOG_DEBUG));
    logger.write("c.cpp", "f", 1, zt::log::LOG_INFO, "after control");
    EXPECT_NE(readFile(dir.path() + "/" + strName + ".log").find("after control"), std::string::npos);
  }

  // A second client is served after the first leaves.
  {
    ControlClient second(strSocket);
    ASSERT_TRUE(second.connected());
    EXPECT_EQ(second.request("0|0|0|0"), kReply);
  }
  EXPECT_FALSE(logger.enabled(zt::log::LOG_FATAL));
}

TEST(LoggerControlSocket, StopIsPromptAndReleasesTheName) {
  ScratchDir dir;
  const std::string strName = "ctl_stop_" + std::to_string(getpid());
  zt::log::Logger logger;
  zt::log::LogOption option = fileOption(dir.path(), strName);
  option.bControlSocket = true;
  logger.start(option);
  const std::string strSocket = Logger::controlSocketName(strName);
  ControlClient idle(strSocket); // connected but silent
  ASSERT_TRUE(idle.connected());

  auto begin = std::chrono::steady_clock::now();
  logger.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5)); // not stuck on the idle client
  EXPECT_FALSE(ControlClient(strSocket).connected());
}

TEST(LoggerControlSocket, UnusableSocketPathLeavesTheLogWorking) {
  ScratchDir dir;
  // A log name too long for a socket address: the socket cannot be made, the file still works.
  zt::log::LogOption option = fileOption(dir.path(), std::string(150, 'n'));
  option.bControlSocket = true;
  zt::log::Logger logger;
  logger.start(option);
  logger.write("c.cpp", "f", 1, zt::log::LOG_ERROR, "still logged");
  logger.stop();
  EXPECT_NE(readFile(dir.path() + "/" + option.strLogName + ".log").find("still logged"), std::string::npos);
}

// Two logs of one name: the first keeps its socket and answers; the second runs without one and
// says so once in its own log, and stopping it leaves the first one's socket in place.
TEST(LoggerControlSocket, ALiveSocketIsLeftToItsOwner) {
  ScratchDir firstDir, secondDir;
  const std::string strName = "ctl_shared_" + std::to_string(getpid());
  const std::string strSocket = Logger::controlSocketName(strName);
  zt::log::LogOption option = fileOption(firstDir.path(), strName);
  option.bControlSocket = true;
  zt::log::Logger first, second;
  first.start(option);
  option.strLogDir = secondDir.path();
  second.start(option);
  second.stop();
  {
    ControlClient client(strSocket);
    ASSERT_TRUE(client.connected());
    EXPECT_EQ(client.request("0|1|0|7"), kReply);
  }
  EXPECT_TRUE(first.enabled(zt::log::LOG_DEBUG));
  std::string strSecondLog = readFile(secondDir.path() + "/" + strName + ".log");
  EXPECT_EQ(splitLines(strSecondLog).size(), 1u) << strSecondLog;
  EXPECT_NE(strSecondLog.find("[WARN]"), std::string::npos);
  EXPECT_NE(strSecondLog.find("control socket @" + strSocket + " is served by another log of this name"),
            std::string::npos);
  EXPECT_EQ(readFile(firstDir.path() + "/" + strName + ".log"), "");
}
