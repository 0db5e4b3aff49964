// The local control socket through which another process of the same user retunes a log:
// an abstract Unix-domain SOCK_SEQPACKET socket (a name, no file), one request "%d|%d|%d|%d" per message
// (to stdout, to file, flush immediately, level), each answered with the five bytes "test\0".
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace zt::log {

struct ControlRequest {
  bool bLogToStdout;
  bool bLogToFile;
  bool bLogFlushImmediately;
  int nLogLevel;
};

// Reads "%d|%d|%d|%d"; true only when four integers are there and the level is 0..7.
bool parseControlRequest(const std::string &strText, ControlRequest &request);

enum class ControlStart {
  Serving, // the socket is ours
  InUse,   // another log of the same name serves it; left alone
  Failed,  // no socket could be made
};

class ControlServer {
public:
  using Handler = std::function<void(const ControlRequest &)>;

  ControlServer() = default;
  ~ControlServer();
  ControlServer(const ControlServer &) = delete;
  ControlServer &operator=(const ControlServer &) = delete;

  // Binds the abstract name and starts serving; only processes of the same user are served. A
  // name already bound is left to its owner (InUse). Nothing is started unless the result is
  // Serving. nPollMs bounds how long stop() waits for the thread.
  ControlStart start(const std::string &strName, Handler handler, int nPollMs = 100);
  // Ends the thread and releases the name.
  void stop();

private:
  void run();
  void serveClient(int nClientFd);
  bool peerIsSameUser(int nClientFd) const;

  Handler m_handler;
  int m_nPollMs = 100;
  int m_nListenFd = -1;
  std::atomic<bool> m_bRun{false};
  std::thread m_thread;
};

} // namespace zt::log
