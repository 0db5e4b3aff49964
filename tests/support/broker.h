// A real mosquitto broker for tests, run through scripts/local-broker: TLS on
// 127.0.0.1 with the project's certificates and the user "root", plus a plain MQTT
// listener and a TLS listener with a pre-shared key (same user). A broker may be made a
// node bridged to another one, as a site spread over several brokers runs them.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>

namespace zt::test {

class Broker {
public:
  // Picks free ports; the broker is not running until start().
  Broker();
  // Stops the broker (by its pid) and removes its directory.
  ~Broker();
  Broker(const Broker &) = delete;
  Broker &operator=(const Broker &) = delete;

  // Starts the broker and waits until it completes a TLS handshake; false on time-out.
  bool start();
  // Stops the broker by its pid and waits for it to exit.
  void stop();
  // Stops and starts again on the same port.
  bool restart();
  // Before start(): bridge every ZTDM topic both ways to the TLS port of another broker, which
  // keeps it across restarts of either. Construct this broker after the other one has started,
  // so that its free ports cannot be the ones the other has picked.
  void bridgeTo(const Broker &other) { m_nBridgePort = other.port(); }

  bool running() const { return m_pid > 0; }
  int port() const { return m_nPort; }      // TLS with the project's CA
  int plainPort() const { return m_nPlainPort; } // no TLS
  int pskPort() const { return m_nPskPort; }     // TLS with the pre-shared key below
  static const char *pskIdentity() { return "ztaccess-test"; }
  static const char *pskKey() { return "5a54616363657373546573744b657931"; }
  pid_t pid() const { return m_pid; }
  // The project's CA certificate file.
  static std::string caFile();

private:
  bool acceptsTls() const;

  int m_nPort = 0;
  int m_nPlainPort = 0;
  int m_nPskPort = 0;
  int m_nBridgePort = 0; // 0: not bridged
  pid_t m_pid = -1;
  std::string m_strDir;
};

// Polls pred every 5 ms until it is true or the timeout passes; returns its last value.
bool waitFor(const std::function<bool()> &pred,
             std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// A free TCP port on 127.0.0.1 (bound once to port 0 and released).
int freeTcpPort();

} // namespace zt::test
