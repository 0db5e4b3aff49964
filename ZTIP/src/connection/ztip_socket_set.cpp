#include "connection/ztip_socket_set.h"

#include <algorithm>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace zt::ip {

ZtipSocketSet::ZtipSocketSet() : m_nWakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

ZtipSocketSet::~ZtipSocketSet() {
  if (m_nWakeFd >= 0)
    close(m_nWakeFd);
}

void ZtipSocketSet::add(int nSocket, uint16_t uSocketId) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = std::find_if(m_vecMembers.begin(), m_vecMembers.end(),
                           [nSocket](const Member &member) { return member.nSocket == nSocket; });
    if (it != m_vecMembers.end())
      it->uSocketId = uSocketId;
    else
      m_vecMembers.push_back({nSocket, uSocketId});
  }
  wake();
}

void ZtipSocketSet::remove(int nSocket) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_vecMembers.erase(std::remove_if(m_vecMembers.begin(), m_vecMembers.end(),
                                    [nSocket](const Member &member) { return member.nSocket == nSocket; }),
                     m_vecMembers.end());
}

void ZtipSocketSet::clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_vecMembers.clear();
}

bool ZtipSocketSet::wait(int nTimeoutMs, std::vector<Member> &vecReadable, std::vector<Member> &vecFailed) {
  vecReadable.clear();
  vecFailed.clear();
  std::vector<pollfd> vecPoll;
  std::vector<Member> vecMembers;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    vecMembers = m_vecMembers;
  }
  vecPoll.push_back({m_nWakeFd, POLLIN, 0});
  for (const Member &member : vecMembers)
    vecPoll.push_back({member.nSocket, POLLIN, 0});
  if (poll(vecPoll.data(), vecPoll.size(), nTimeoutMs) <= 0)
    return false;
  if (vecPoll[0].revents != 0) {
    uint64_t uCount;
    while (read(m_nWakeFd, &uCount, sizeof(uCount)) > 0) {
    }
  }
  for (size_t i = 1; i < vecPoll.size(); ++i) {
    short nEvents = vecPoll[i].revents;
    if (nEvents & (POLLERR | POLLNVAL))
      vecFailed.push_back(vecMembers[i - 1]);
    else if (nEvents & (POLLIN | POLLHUP))
      vecReadable.push_back(vecMembers[i - 1]);
  }
  return !vecReadable.empty() || !vecFailed.empty();
}

void ZtipSocketSet::wake() {
  uint64_t uOne = 1;
  ssize_t nWritten = write(m_nWakeFd, &uOne, sizeof(uOne));
  (void)nWritten; // a full counter already wakes the waiter
}

} // namespace zt::ip
