// ztmq tasks against a raw ZeroMQ peer: what goes on the wire, what a task makes of frames it
// did not expect, and the process's socket limit.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <memory>
#include <vector>
#include <zmq.h>

#include "broker.h"
#include "task_test_support.h"
#include "zmq_parts.h"
#include "zmqcpp.h"
#include "ztmq.h"

namespace zt::mq {
namespace {

using namespace test;

// A DEALER socket in a context of its own, as another program would have.
class RawPeer {
public:
  RawPeer() : m_pContext(zmq_ctx_new()), m_pSocket(zmq_socket(m_pContext, ZMQ_DEALER)) {
    int nTimeoutMs = 5000;
    zmq_setsockopt(m_pSocket, ZMQ_RCVTIMEO, &nTimeoutMs, sizeof nTimeoutMs);
  }
  ~RawPeer() {
    int nLinger = 0;
    zmq_setsockopt(m_pSocket, ZMQ_LINGER, &nLinger, sizeof nLinger);
    zmq_close(m_pSocket);
    zmq_ctx_term(m_pContext);
  }
  bool connect(int nPort) { return zmq_connect(m_pSocket, endpoint(nPort).c_str()) == 0; }
  bool bind(int nPort) { return zmq_bind(m_pSocket, endpoint(nPort).c_str()) == 0; }
  void send(const std::vector<std::string> &vecParts) { ASSERT_TRUE(test::sendParts(m_pSocket, vecParts)); }
  // The parts of the next message; empty when none came within 5 s.
  std::vector<std::string> receive() { return test::receiveParts(m_pSocket); }

private:
  static std::string endpoint(int nPort) { return "tcp://127.0.0.1:" + std::to_string(nPort); }
  void *m_pContext;
  void *m_pSocket;
};

// A header written out by hand, field by field, the way a foreign implementation would.
std::string handmadeHeader(const std::string &strSrcAddr, const std::string &strSource, const std::string &strDest,
                           uint32_t uSn) {
  std::string strHeader(200, '\0');
  strHeader.replace(0, strSrcAddr.size(), strSrcAddr);
  strHeader.replace(64, strSource.size(), strSource);
  strHeader.replace(128, strDest.size(), strDest);
  for (int i = 0; i < 4; ++i) {
    strHeader[192 + i] = static_cast<char>(uSn >> (8 * i));
  }
  strHeader.replace(196, 4, "0.1V");
  return strHeader;
}

struct HeaderFields {
  std::string strSrcAddr, strSource, strDest;
  uint32_t uSn = 0;
  std::string strVersion;
};

HeaderFields readHeader(const std::string &strHeader) {
  HeaderFields fields;
  fields.strSrcAddr = strHeader.c_str();
  fields.strSource = strHeader.c_str() + 64;
  fields.strDest = strHeader.c_str() + 128;
  for (int i = 0; i < 4; ++i) {
    fields.uSn |= uint32_t(uint8_t(strHeader[192 + i])) << (8 * i);
  }
  fields.strVersion = strHeader.substr(196, 4);
  return fields;
}

TEST(RawPeer, MalformedFramesAreDroppedAndTheTaskKeepsReceiving) {
  int nPort = zt::test::freeTcpPort();
  std::string strTask = uniqueId("target");
  std::string strAddr = "127.0.0.1:" + std::to_string(nPort);
  ASSERT_EQ(ZTConfigSetAddr(strTask.c_str(), strAddr.c_str()), 0);
  Recorder recorder;
  Tasks tasks;
  ASSERT_EQ(ZTCreateTaskEx(tasks.add(strTask), Recorder::onMessageEx, nullptr, &recorder), 0);
  RawPeer peer;
  ASSERT_TRUE(peer.connect(nPort));
  std::string strSource = uniqueId("raw");
  std::string strValid = handmadeHeader("raw-reply-addr", strSource, strTask, 0x7FFFFFFE);

  peer.send({strValid.substr(0, 199)});
  std::string strBadVersion = strValid;
  strBadVersion.replace(196, 4, "0.2V");
  peer.send({strBadVersion, "payload"});
  for (size_t nField : {0u, 64u, 128u}) {
    std::string strOpen = strValid;
    strOpen.replace(nField, 64, std::string(64, 'o'));
    peer.send({strOpen, "payload"});
  }
  peer.send({""});
  peer.send({strValid, "first part,", "second part"});
  peer.send({handmadeHeader("raw-reply-addr", strSource, strTask, 2)});

  ASSERT_TRUE(recorder.waitForCount(2));
  std::vector<Received> vecGot = recorder.messages();
  ASSERT_EQ(vecGot.size(), 2u);
  EXPECT_EQ(vecGot[0].strSource, strSource);
  EXPECT_EQ(vecGot[0].strData, "first part,second part");
  EXPECT_EQ(vecGot[0].nInfoSn, 0x7FFFFFFE);
  EXPECT_EQ(vecGot[0].strSrcAddr, "raw-reply-addr");
  EXPECT_EQ(vecGot[0].strDest, strTask);
  EXPECT_FALSE(vecGot[0].bHasProxy);
  EXPECT_EQ(vecGot[1].strData, "");
  EXPECT_EQ(vecGot[1].nInfoSn, 2);
  // The task learnt where replies to the raw sender go.
  char szAddr[ZTMQ_ADDR_BUFFER_SIZE];
  ASSERT_EQ(ZTConfigGetAddr(strSource.c_str(), szAddr), 0);
  EXPECT_STREQ(szAddr, "raw-reply-addr");
}

TEST(RawPeer, WhatATaskPutsOnTheWire) {
  int nPort = zt::test::freeTcpPort();
  RawPeer peer;
  ASSERT_TRUE(peer.bind(nPort));
  std::string strPeer = uniqueId("peer");
  ASSERT_EQ(ZTConfigSetAddr(strPeer.c_str(), ("127.0.0.1:" + std::to_string(nPort)).c_str()), 0);
  Tasks tasks;
  std::string strSource = tasks.add(uniqueId("sender"));
  std::string strProxy = tasks.add(uniqueId("proxy"));

  // The ZeroMQ connection is made in the background; until then the probe finds nobody.
  ASSERT_TRUE(zt::test::waitFor([&] { return ZTSendMessage(strSource.c_str(), strPeer.c_str(), "hello", 5, -3) == 0; }));
  std::vector<std::string> vecProbe = peer.receive();
  EXPECT_EQ(vecProbe, std::vector<std::string>{""});
  std::vector<std::string> vecParts = peer.receive();
  ASSERT_EQ(vecParts.size(), 2u);
  ASSERT_EQ(vecParts[0].size(), 200u);
  HeaderFields header = readHeader(vecParts[0]);
  EXPECT_EQ(header.strSrcAddr, strSource); // a task without configured address lives under its id
  EXPECT_EQ(header.strSource, strSource);
  EXPECT_EQ(header.strDest, strPeer);
  EXPECT_EQ(header.uSn, uint32_t(-3));
  EXPECT_EQ(header.strVersion, "0.1V");
  EXPECT_EQ(vecParts[1], "hello");

  ASSERT_EQ(ZTSendMessage(strSource.c_str(), strPeer.c_str(), nullptr, 0, 9), 0);
  EXPECT_EQ(peer.receive(), std::vector<std::string>{""});
  vecParts = peer.receive();
  ASSERT_EQ(vecParts.size(), 1u); // no payload: the header alone
  EXPECT_EQ(readHeader(vecParts[0]).uSn, 9u);

  // On behalf of another task: one part, naming that task with the proxy's reply address.
  ASSERT_EQ(ZTProxySendMessage(strProxy.c_str(), "on-behalf", strPeer.c_str(), "xyz", 3, 7), 0);
  EXPECT_EQ(peer.receive(), std::vector<std::string>{""});
  vecParts = peer.receive();
  ASSERT_EQ(vecParts.size(), 1u);
  ASSERT_EQ(vecParts[0].size(), 203u);
  header = readHeader(vecParts[0]);
  EXPECT_EQ(header.strSource, "on-behalf");
  EXPECT_EQ(header.strSrcAddr, strProxy);
  EXPECT_EQ(header.strDest, strPeer);
  EXPECT_EQ(vecParts[0].substr(200), "xyz");
}

// A tcp listener on a free port that accepts connections and, after a delay, relays their bytes
// to another port (or never, with no target): a peer whose handshake comes late, or not at all.
class SlowRelay {
public:
  SlowRelay(int nTargetPort, std::chrono::milliseconds delay) : m_nTargetPort(nTargetPort), m_delay(delay) {
    m_nListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = loopbackAddress(0);
    socklen_t nLength = sizeof addr;
    if (::bind(m_nListen, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 && ::listen(m_nListen, 4) == 0 &&
        ::getsockname(m_nListen, reinterpret_cast<sockaddr *>(&addr), &nLength) == 0) {
      m_nPort = ntohs(addr.sin_port);
    }
    m_accepter = std::thread([this] { relay(); });
  }
  ~SlowRelay() {
    ::shutdown(m_nListen, SHUT_RDWR);
    for (int nFd : {m_nClient.load(), m_nTarget.load()}) {
      if (nFd >= 0) {
        ::shutdown(nFd, SHUT_RDWR);
      }
    }
    m_accepter.join();
    for (std::thread &pump : m_vecPumps) {
      pump.join();
    }
    for (int nFd : {m_nListen, m_nClient.load(), m_nTarget.load()}) {
      if (nFd >= 0) {
        ::close(nFd);
      }
    }
  }
  int port() const { return m_nPort; }

private:
  static sockaddr_in loopbackAddress(int nPort) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(nPort));
    return addr;
  }
  static void pump(int nFrom, int nTo) {
    char arrBuffer[65536];
    for (ssize_t nRead; (nRead = ::recv(nFrom, arrBuffer, sizeof arrBuffer, 0)) > 0;) {
      if (::send(nTo, arrBuffer, size_t(nRead), MSG_NOSIGNAL) != nRead) {
        break;
      }
    }
    ::shutdown(nTo, SHUT_WR);
  }
  void relay() {
    m_nClient = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (m_nClient < 0 || m_nTargetPort == 0) {
      return;
    }
    std::this_thread::sleep_for(m_delay);
    m_nTarget = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in target = loopbackAddress(m_nTargetPort);
    if (::connect(m_nTarget, reinterpret_cast<sockaddr *>(&target), sizeof target) == 0) {
      m_vecPumps.emplace_back(pump, m_nClient.load(), m_nTarget.load());
      m_vecPumps.emplace_back(pump, m_nTarget.load(), m_nClient.load());
    }
  }

  int m_nTargetPort;
  std::chrono::milliseconds m_delay;
  int m_nListen = -1;
  int m_nPort = 0;
  std::atomic<int> m_nClient{-1}; // written by the accepting thread
  std::atomic<int> m_nTarget{-1};
  std::thread m_accepter;
  std::vector<std::thread> m_vecPumps;
};

TEST(SlowPeer, FirstMessageWaitsForALateHandshake) {
  int nTaskPort = zt::test::freeTcpPort();
  Recorder recorder;
  Tasks tasks;
  std::string strTask = tasks.add(uniqueId("behind_relay"));
  ASSERT_EQ(ZTConfigSetAddr(strTask.c_str(), ("127.0.0.1:" + std::to_string(nTaskPort)).c_str()), 0);
  ASSERT_EQ(ZTCreateTask(strTask.c_str(), Recorder::onMessage, &recorder), 0);
  // The relay connects through only after three probe periods.
  SlowRelay relay(nTaskPort, std::chrono::milliseconds(300));
  std::string strAlias = uniqueId("alias");
  ASSERT_EQ(ZTConfigSetAddr(strAlias.c_str(), ("127.0.0.1:" + std::to_string(relay.port())).c_str()), 0);
  ASSERT_EQ(ZTSendMessage(tasks.add(uniqueId("s")), strAlias.c_str(), "late", 4, 1), 0);
  EXPECT_TRUE(recorder.waitForCount(1));
}

TEST(SlowPeer, AListenerThatNeverCompletesTheHandshakeIsUnreachable) {
  SlowRelay silent(0, std::chrono::milliseconds(0));
  std::string strSilent = uniqueId("silent");
  ASSERT_EQ(ZTConfigSetAddr(strSilent.c_str(), ("127.0.0.1:" + std::to_string(silent.port())).c_str()), 0);
  Tasks tasks;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ZTSendMessage(tasks.add(uniqueId("s")), strSilent.c_str(), "x", 1, 1), -4);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(SocketLimit, The1025thSocketIsRefusedCleanly) {
  std::vector<std::unique_ptr<zmq::socket>> vecSockets;
  for (;;) {
    auto pSocket = std::make_unique<zmq::socket>();
    if (!pSocket->valid()) {
      break;
    }
    vecSockets.push_back(std::move(pSocket));
    ASSERT_LE(vecSockets.size(), 1024u);
  }
  EXPECT_GE(vecSockets.size(), 1000u); // less only by the sockets other tests still hold

  Recorder recorder;
  Tasks tasks;
  std::string strTask = tasks.add(uniqueId("late"));
  EXPECT_EQ(ZTCreateTask(strTask.c_str(), Recorder::onMessage, &recorder), -10);
  EXPECT_EQ(ZTSendMessage(uniqueId("late_sender").c_str(), strTask.c_str(), "x", 1, 1), -10);

  // ZeroMQ frees the place of a closed socket a moment after the close.
  vecSockets.clear();
  ASSERT_TRUE(zt::test::waitFor([&] { return ZTCreateTask(strTask.c_str(), Recorder::onMessage, &recorder) == 0; }));
  ASSERT_EQ(ZTSendMessage(tasks.add(uniqueId("sender")), strTask.c_str(), "x", 1, 1), 0);
  EXPECT_TRUE(recorder.waitForCount(1));
}

} // namespace
} // namespace zt::mq
