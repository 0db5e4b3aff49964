#include "broker.h"
#include "tcp_relay.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zt::test {
namespace {

using namespace std::chrono_literals;

// A loopback server on a free port that sends back whatever each client sends.
class EchoServer {
public:
  EchoServer() : m_nPort(freeTcpPort()) {
    m_nListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int nOn = 1;
    setsockopt(m_nListen, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(m_nPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_nListen, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    listen(m_nListen, 8);
    m_thread = std::thread([this] { serve(); });
  }
  ~EchoServer() {
    m_bRun = false;
    m_thread.join();
    close(m_nListen);
  }
  int port() const { return m_nPort; }

private:
  void serve() {
    std::vector<std::thread> vecClients;
    while (m_bRun) {
      pollfd wait{m_nListen, POLLIN, 0};
      if (poll(&wait, 1, 50) <= 0) {
        continue;
      }
      int fd = accept(m_nListen, nullptr, nullptr);
      vecClients.emplace_back([fd] {
        char buffer[8192];
        ssize_t nRead;
        while ((nRead = recv(fd, buffer, sizeof buffer, 0)) > 0) {
          send(fd, buffer, static_cast<size_t>(nRead), MSG_NOSIGNAL);
        }
        close(fd);
      });
    }
    for (std::thread &client : vecClients) {
      client.join();
    }
  }

  int m_nPort;
  int m_nListen = -1;
  std::atomic<bool> m_bRun{true};
  std::thread m_thread;
};

// A blocking client socket with a receive time-out of 5 s; -1 and errno when refused.
int connectTo(int nPort) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(nPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    int nError = errno;
    close(fd);
    errno = nError;
    return -1;
  }
  return fd;
}

// Sends strData from a thread of its own while reading the echo; what came back.
std::string roundTrip(int fd, const std::string &strData) {
  std::thread sender([&] { send(fd, strData.data(), strData.size(), MSG_NOSIGNAL); });
  std::string strEcho;
  char buffer[65536];
  while (strEcho.size() < strData.size()) {
    ssize_t nRead = recv(fd, buffer, sizeof buffer, 0);
    if (nRead <= 0) {
      break;
    }
    strEcho.append(buffer, static_cast<size_t>(nRead));
  }
  sender.join();
  return strEcho;
}

// True when the peer closed the connection (recv gives 0 or a reset) within the receive time-out.
bool closedByPeer(int fd) {
  char c;
  ssize_t nRead = recv(fd, &c, 1, 0);
  return nRead == 0 || (nRead < 0 && errno == ECONNRESET);
}

TEST(TcpRelay, ForwardsBothWaysByteForByteOnEveryConnection) {
  EchoServer echo;
  TcpRelay relay(echo.port());
  ASSERT_TRUE(relay.start());
  int fdFirst = connectTo(relay.port());
  int fdSecond = connectTo(relay.port());
  ASSERT_GE(fdFirst, 0);
  ASSERT_GE(fdSecond, 0);
  EXPECT_EQ(roundTrip(fdFirst, "hello"), "hello");
  // More than the socket buffers hold, so the relay has to hold back one side for the other.
  std::string strLarge(4 << 20, '\0');
  for (size_t i = 0; i < strLarge.size(); ++i) {
    strLarge[i] = static_cast<char>(i * 7 + i / 4096);
  }
  EXPECT_EQ(roundTrip(fdSecond, strLarge), strLarge);
  EXPECT_EQ(relay.connections(), 2);
  EXPECT_EQ(relay.accepted(), 2);
  close(fdFirst);
  close(fdSecond);
  EXPECT_TRUE(waitFor([&] { return relay.connections() == 0; }));
}

TEST(TcpRelay, CutClosesEveryConnectionAndRefusesNewOnesUntilRestored) {
  EchoServer echo;
  TcpRelay relay(echo.port());
  ASSERT_TRUE(relay.start());
  int fdBefore = connectTo(relay.port());
  ASSERT_GE(fdBefore, 0);
  ASSERT_EQ(roundTrip(fdBefore, "before"), "before");

  relay.cut();
  EXPECT_TRUE(closedByPeer(fdBefore));
  EXPECT_EQ(relay.connections(), 0);
  EXPECT_EQ(connectTo(relay.port()), -1);
  EXPECT_EQ(errno, ECONNREFUSED);

  ASSERT_TRUE(relay.restore());
  int fdAfter = connectTo(relay.port());
  ASSERT_GE(fdAfter, 0);
  EXPECT_EQ(roundTrip(fdAfter, "after"), "after");
  close(fdBefore);
  close(fdAfter);
}

TEST(TcpRelay, AConnectionIsClosedWhenNothingListensAtTheTarget) {
  TcpRelay relay(freeTcpPort());
  ASSERT_TRUE(relay.start());
  int fd = connectTo(relay.port());
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(closedByPeer(fd));
  EXPECT_EQ(relay.accepted(), 1);
  EXPECT_EQ(relay.connections(), 0);
  close(fd);
}

} // namespace
} // namespace zt::test
