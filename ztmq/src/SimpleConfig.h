// A table of text values by text key, safe to use from any thread.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace zt::mq {

class SimpleConfig {
public:
  // The value, empty when there is none.
  std::string get(const std::string &strKey);
  void set(const std::string &strKey, const std::string &strValue);
  // Stores the value only when the key has none (or an empty one); returns the value now held.
  std::string setIfEmpty(const std::string &strKey, const std::string &strValue);

private:
  std::mutex m_mutex;
  std::map<std::string, std::string> m_mapValues;
};

} // namespace zt::mq
