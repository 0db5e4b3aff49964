// Multipart messages on a plain libzmq socket, as a program without ztmq sends and receives them
// (used by the tests' raw peers and by the benchmark's raw baseline).
#pragma once

#include <string>
#include <vector>
#include <zmq.h>

namespace zt::mq::test {

// All parts, each but the last with the "more" flag; false when one was not taken whole.
inline bool sendParts(void *pSocket, const std::vector<std::string> &vecParts) {
  for (size_t i = 0; i < vecParts.size(); ++i) {
    int nFlags = i + 1 < vecParts.size() ? ZMQ_SNDMORE : 0;
    if (zmq_send(pSocket, vecParts[i].data(), vecParts[i].size(), nFlags) != int(vecParts[i].size())) {
      return false;
    }
  }
  return true;
}

// The parts of the next message; empty when the receive failed (time-out, closed context).
inline std::vector<std::string> receiveParts(void *pSocket) {
  std::vector<std::string> vecParts;
  for (;;) {
    zmq_msg_t part;
    zmq_msg_init(&part);
    if (zmq_msg_recv(&part, pSocket, 0) < 0) {
      zmq_msg_close(&part);
      return {};
    }
    vecParts.emplace_back(static_cast<const char *>(zmq_msg_data(&part)), zmq_msg_size(&part));
    bool bMore = zmq_msg_more(&part) != 0;
    zmq_msg_close(&part);
    if (!bMore) {
      return vecParts;
    }
  }
}

} // namespace zt::mq::test
