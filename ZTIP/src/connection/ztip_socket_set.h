// A list of sockets that one library thread waits on. poll() is used rather than select()
// because the connection list may hold far more sockets than FD_SETSIZE. Adding a socket or
// calling wake() ends a wait at once, so new sockets and shutdown are seen without delay.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace zt::ip {

class ZtipSocketSet {
public:
  ZtipSocketSet();
  ~ZtipSocketSet();
  ZtipSocketSet(const ZtipSocketSet &) = delete;
  ZtipSocketSet &operator=(const ZtipSocketSet &) = delete;

  // A socket with the id of the context that owns it.
  struct Member {
    int nSocket;
    uint16_t uSocketId;
  };

  void add(int nSocket, uint16_t uSocketId);
  void remove(int nSocket);
  void clear();

  // Waits up to nTimeoutMs. Sockets with data or a hang-up go to vecReadable, sockets in
  // an error state to vecFailed. Returns false when nothing became ready.
  bool wait(int nTimeoutMs, std::vector<Member> &vecReadable, std::vector<Member> &vecFailed);

  // Ends the current or next wait.
  void wake();

private:
  mutable std::mutex m_mutex;
  std::vector<Member> m_vecMembers;
  int m_nWakeFd;
};

} // namespace zt::ip
