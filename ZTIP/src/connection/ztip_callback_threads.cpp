// The receive callback thread and the priority receive callback thread: each takes the
// frames of its queue in order and calls their receive callbacks with no library lock held.
#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "api/ztip_fatal_exit.h"
#include "api/ztip_guard.h"
#include "api/ztip_library.h"
#include "connection/ztip_threads.h"

#include <cstring>
#include <new>
#include <vector>

namespace zt::ip {
namespace {

constexpr size_t kCallbackBufferSize = 0x18000;
constexpr uint64_t kSlowCallbackMs = 500;
constexpr uint64_t kIdleWaitMs = 1;

void deliver(const ZtipQueuedFrame &frame, std::vector<uint8_t> &vecBuffer) {
  if (frame.pCallback == nullptr)
    return;
  // The callback gets a private copy with a 0 byte behind the data, so text payloads can be
  // read as C strings.
  size_t nLen = frame.vecData.size();
  if (nLen > 0)
    std::memcpy(vecBuffer.data(), frame.vecData.data(), nLen);
  vecBuffer[nLen] = 0;
  uint64_t uStart = zt::tickMs();
  ztipGuarded("receive callback", [&] {
    frame.pCallback(frame.uSocketId, frame.uServerSocketId, frame.head, static_cast<uint32_t>(nLen),
                    vecBuffer.data(), frame.strIp.c_str(), frame.strPort.c_str());
  });
  uint64_t uSpent = zt::tickMs() - uStart;
  if (uSpent > kSlowCallbackMs)
    ZTIPLog(kLogEvent, kAreaQueue,
            "tcp callback thread:single tcp callback waster time:[%lld ms], cmd[%04x], ip[%s], port[%s]",
            static_cast<long long>(uSpent), frame.head.cmd, frame.strIp.c_str(), frame.strPort.c_str());
}

} // namespace

void callbackThread(bool bPriority) {
  ZTIPLog(kLogEvent, kAreaThread,
          bPriority ? "Enter Tcp Recv Pri Callback Thread" : "Enter Tcp Recv Callback Thread");
  std::vector<uint8_t> vecBuffer;
  try {
    vecBuffer.resize(kCallbackBufferSize);
  } catch (const std::bad_alloc &) {
    fatalExit(9999, bPriority ? "consume pri bussiness data malloc failure"
                              : "consume bussiness data malloc failure");
  }
  ZtipCallbackQueue &queue = bPriority ? *library().pPriorityQueue : *library().pNormalQueue;
  ZtipQueuedFrame frame;
  // An idle thread waits at most 1 ms for a frame, so it sees the end of the run flag soon;
  // a frame that arrives wakes it at once.
  while (library().bRun)
    if (queue.pop(frame, kIdleWaitMs)) {
      deliver(frame, vecBuffer);
      queue.markDelivered(frame.uTicket);
    }
  ZTIPLog(kLogEvent, kAreaThread,
          bPriority ? "Exit Tcp Recv Pri Callback Thread" : "Exit Tcp Recv Callback Thread");
}

} // namespace zt::ip
