// The registry of found devices, keyed by the announced id, and the run model that chooses the
// channel of request topics. Written on the receive thread, read by application threads.
#pragma once

#include "found_device.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace zt::si {

class ZtsiDmc {
public:
  explicit ZtsiDmc(int nRunModel) : m_nRunModel(nRunModel) {}
  virtual ~ZtsiDmc() = default;

  // Stores a new device whole, or refreshes a known one (see FoundDevice::updateFrom).
  // Nothing is stored for an empty owner key.
  void addDevice(const FoundDevice &device);
  std::optional<FoundDevice> findDevice(const std::string &strDevId) const;
  std::map<std::string, FoundDevice> snapshot() const;

  int runModel() const { return m_nRunModel; }

private:
  mutable std::mutex m_mutex;
  std::map<std::string, FoundDevice> m_mapDevices;
  const int m_nRunModel;
};

} // namespace zt::si
