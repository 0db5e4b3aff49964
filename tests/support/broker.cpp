#include "broker.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zt::test {

namespace {

int connectLoopback(int nPort) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(nPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

} // namespace

int freeTcpPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  int nPort = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0) {
    nPort = ntohs(addr.sin_port);
  }
  if (fd >= 0) {
    close(fd);
  }
  return nPort;
}

bool waitFor(const std::function<bool()> &pred, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return pred();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::string Broker::caFile() { return std::string(ZT_SOURCE_DIR) + "/certs/ca.crt"; }

Broker::Broker() : m_nPort(freeTcpPort()) {
  // Each pick releases its port at once, so the kernel may hand the same one out again.
  do {
    m_nPlainPort = freeTcpPort();
  } while (m_nPlainPort == m_nPort);
  do {
    m_nPskPort = freeTcpPort();
  } while (m_nPskPort == m_nPort || m_nPskPort == m_nPlainPort);
  char tmpl[] = "/tmp/zt_broker_XXXXXX";
  if (mkdtemp(tmpl) != nullptr) {
    m_strDir = tmpl;
  }
}

Broker::~Broker() {
  stop();
  if (!m_strDir.empty()) {
    std::string cmd = "rm -rf '" + m_strDir + "'";
    if (std::system(cmd.c_str()) != 0) {
      // Leaving a temporary directory behind is harmless.
    }
  }
}

bool Broker::start() {
  if (m_pid > 0) {
    return true;
  }
  std::vector<std::string> vecArgs{"bash",
                                   std::string(ZT_SOURCE_DIR) + "/scripts/local-broker",
                                   std::to_string(m_nPort),
                                   m_strDir,
                                   std::to_string(m_nPlainPort),
                                   std::to_string(m_nPskPort)};
  if (m_nBridgePort > 0) {
    vecArgs.push_back("--bridge-to");
    vecArgs.push_back("127.0.0.1:" + std::to_string(m_nBridgePort));
  }
  std::vector<char *> vecArgv;
  for (std::string &strArg : vecArgs) {
    vecArgv.push_back(strArg.data());
  }
  vecArgv.push_back(nullptr);
  std::string strLog = m_strDir + "/broker.log";
  pid_t pid = fork();
  if (pid < 0) {
    return false;
  }
  if (pid == 0) {
    // The broker must not outlive a test binary that crashes.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    FILE *log = std::freopen(strLog.c_str(), "w", stderr);
    (void)log;
    execv("/bin/bash", vecArgv.data());
    _exit(127);
  }
  m_pid = pid;
  if (waitFor([this] { return acceptsTls(); }, std::chrono::milliseconds(10000))) {
    return true;
  }
  stop();
  return false;
}

void Broker::stop() {
  if (m_pid <= 0) {
    return;
  }
  kill(m_pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 500; ++i) {
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(m_pid, SIGKILL);
  waitpid(m_pid, &status, 0);
  m_pid = -1;
}

bool Broker::restart() {
  stop();
  return start();
}

bool Broker::acceptsTls() const {
  int status = 0;
  if (m_pid <= 0 || waitpid(m_pid, &status, WNOHANG) == m_pid) {
    return false;
  }
  int fd = connectLoopback(m_nPort);
  if (fd < 0) {
    return false;
  }
  SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
  SSL *ssl = ctx ? SSL_new(ctx) : nullptr;
  bool ok = false;
  if (ssl) {
    SSL_set_fd(ssl, fd);
    ok = SSL_connect(ssl) == 1;
    SSL_shutdown(ssl);
    SSL_free(ssl);
  }
  if (ctx) {
    SSL_CTX_free(ctx);
  }
  close(fd);
  return ok;
}

} // namespace zt::test
