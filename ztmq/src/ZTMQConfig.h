// The process's two tables: the address of each task id and the proxy task of each destination.
// Addresses come from the application and from received messages (the sender's reply address).
#pragma once

#include <string>

#include "SimpleConfig.h"

namespace zt::mq {

class ZTMQConfig {
public:
  static ZTMQConfig &instance();

  // 0, -12 empty, -15 refused (see checkConfiguredAddress).
  int setAddr(const std::string &strId, const std::string &strAddr);
  // The address of the id; an id without one becomes its own address (an in-process name).
  // Empty for the empty id.
  std::string getAddr(const std::string &strId);
  // The reply address of a sender, kept unless the id has an address already.
  void learn(const std::string &strId, const std::string &strAddr);
  bool isSet(const std::string &strId);

  void setProxy(const std::string &strId, const std::string &strProxy);
  // Empty when messages to the id go directly.
  std::string getProxy(const std::string &strId);

private:
  SimpleConfig m_addresses;
  SimpleConfig m_proxies;
};

} // namespace zt::mq
