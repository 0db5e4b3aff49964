// The in-process endpoints bound in this process. ZeroMQ queues messages for an inproc name that
// nobody has bound, and a socket connected to a name stays cut off once its binder is gone, even
// when the name is bound again; senders look here to tell both cases.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace zt::mq {

class InprocEndpoints {
public:
  static InprocEndpoints &instance();

  // Each binding of a name gets a serial of its own; 0 stands for "not bound".
  uint64_t add(const std::string &strName);
  void remove(const std::string &strName);
  uint64_t serialOf(const std::string &strName);

private:
  std::mutex m_mutex;
  std::map<std::string, uint64_t> m_mapSerials;
  uint64_t m_uLastSerial = 0;
};

} // namespace zt::mq
