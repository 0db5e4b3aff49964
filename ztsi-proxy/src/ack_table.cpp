#include "ack_table.h"

namespace zt::proxy {

std::string makeAckId(const std::string &strDevId, int nAnswerCmd, int nSn) {
  return strDevId + "-" + std::to_string(nAnswerCmd) + "-" + std::to_string(nSn);
}

void AckTable::add(const std::string &strAckId, const std::string &strClientId) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_entries[strAckId] = Entry{strClientId, false, false, Reply()};
}

AckTable::Outcome AckTable::wait(const std::string &strAckId, std::chrono::milliseconds timeout, Reply &reply) {
  std::unique_lock<std::mutex> lock(m_mutex);
  auto settled = [&] {
    auto it = m_entries.find(strAckId);
    return it == m_entries.end() || it->second.bReceived || it->second.bAbandoned;
  };
  if (!m_condition.wait_for(lock, timeout, settled))
    return Outcome::TimedOut;
  auto it = m_entries.find(strAckId);
  if (it == m_entries.end() || !it->second.bReceived)
    return Outcome::ClientGone;
  reply = it->second.reply;
  return Outcome::Answered;
}

bool AckTable::receive(const std::string &strAckId, const Reply &reply) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_entries.find(strAckId);
    if (it == m_entries.end())
      return false;
    it->second.bReceived = true;
    it->second.reply = reply;
  }
  m_condition.notify_all();
  return true;
}

void AckTable::remove(const std::string &strAckId) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_entries.erase(strAckId);
}

void AckTable::abandonClient(const std::string &strClientId) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto &entry : m_entries) {
      if (entry.second.strClientId == strClientId)
        entry.second.bAbandoned = true;
    }
  }
  m_condition.notify_all();
}

size_t AckTable::size() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_entries.size();
}

} // namespace zt::proxy
