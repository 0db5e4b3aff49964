#include "dealer.h"

#include <cerrno>
#include <climits>
#include <system_error>
#include <sys/eventfd.h>
#include <unistd.h>
#include <zmq.h>

#include "task_address.h"
#include "ztmq_log.h"

namespace zt::mq {

namespace {

constexpr int kSendTimeoutMs = 100;
// How long a peer that accepted the tcp connection is given to complete ZeroMQ's handshake.
constexpr std::chrono::milliseconds kHandshakeTimeout{1000};
constexpr int kHighWaterMark = 100;
constexpr int kReceiveTimeoutMs = 1000;
constexpr int kIdlePollMs = 1000;
// Messages still queued when a socket closes are given this long to leave, so that closing
// never hangs on a peer that stopped reading.
constexpr int kLingerMs = 1000;
constexpr size_t kBigPart = 65536;
// The receive callbacks take the size as an int.
constexpr size_t kMaxMessageLength = INT_MAX;

} // namespace

dealer::dealer() {
  if (!m_socket.valid()) {
    ZTMQ_LOG_ERROR("Construct a dealer,socket is NULL.");
    return;
  }
  m_socket.setOpt(ZMQ_SNDTIMEO, kSendTimeoutMs);
  m_socket.setOpt(ZMQ_SNDHWM, kHighWaterMark);
  m_socket.setOpt(ZMQ_RCVHWM, kHighWaterMark);
  m_socket.setOpt(ZMQ_IMMEDIATE, 1);
  m_socket.setOpt(ZMQ_LINGER, kLingerMs);
  ZTMQ_LOG_DEBUG("Construct a dealer socket=0x%p ", m_socket.handle());
}

dealer::~dealer() {
  ZTMQ_LOG_DEBUG("Destroy a dealer object its m_addr is \"%s\" ", m_strAddr.c_str());
  m_bStop = true;
  if (m_thread.joinable()) {
    uint64_t uOne = 1;
    if (::write(m_nWakeFd, &uOne, sizeof uOne) < 0) {
      // The receive thread still sees the stop flag within a poll period.
    }
    m_thread.join();
  }
  if (m_nWakeFd >= 0) {
    ::close(m_nWakeFd);
  }
}

int dealer::init(const std::string &strBindAddr) {
  if (!m_socket.valid()) {
    ZTMQ_LOG_ERROR("Bind socket creat fail,addr:%s.\n", strBindAddr.c_str());
    return -10;
  }
  if (strBindAddr.empty()) {
    ZTMQ_LOG_ERROR("Bind addr is null,bind error.");
    return -6;
  }
  int nRet = m_socket.bind(strBindAddr);
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("Bind failed nRet:%d,addr:%s,RealBindAddr:%s.\n", nRet, strBindAddr.c_str(),
                   strBindAddr.c_str());
    return nRet;
  }
  m_strAddr = strBindAddr;
  ZTMQ_LOG_DEBUG("Bind successed addr:%s,RealBindAddr:%s.", strBindAddr.c_str(), strBindAddr.c_str());
  m_socket.setOpt(ZMQ_RCVTIMEO, kReceiveTimeoutMs);
  return 0;
}

int dealer::connect(const std::string &strId, const std::string &strAddr) {
  if (!m_socket.valid()) {
    ZTMQ_LOG_ERROR("2.connect to id:%s,addr:%s error,ret:%d.\n", strId.c_str(), strAddr.c_str(), -10);
    return -10;
  }
  if (isTcpAddress(strAddr)) {
    m_pWatch = std::make_unique<ConnectionWatch>(m_socket.handle());
  }
  int nRet = m_socket.connect(strAddr);
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("2.connect to id:%s,addr:%s error,ret:%d.\n", strId.c_str(), strAddr.c_str(), nRet);
    m_pWatch.reset();
    return nRet;
  }
  ZTMQ_LOG_DEBUG("2.connect to id:%s,addr:%s ok.\n", strId.c_str(), strAddr.c_str());
  return 0;
}

bool dealer::awaitConnection() {
  if (!m_pWatch) {
    return true;
  }
  bool bReady = m_pWatch->waitForHandshake(std::chrono::milliseconds(kSendTimeoutMs), kHandshakeTimeout);
  m_pWatch.reset();
  return bReady;
}

int dealer::trysend(const void *pData, size_t nLength, bool bMore) {
  if (!connected()) {
    ZTMQ_LOG_ERROR("is  not Connected !!!,length:%d,more:%d,addr:%s.", int(nLength), int(bMore), m_strAddr.c_str());
    return -2;
  }
  int nRet = m_socket.send(pData, nLength, bMore ? ZMQ_SNDMORE : 0);
  if (nRet < 0 || size_t(nRet) < nLength) {
    ZTMQ_LOG_ERROR("m_socket.send fail,nRet:%d,length:%d,more:%d,addr:%s.", nRet, int(nLength), int(bMore),
                   m_socket.serverAddr().c_str());
    return -3;
  }
  return 0;
}

bool dealer::start(MessageHandler onMessage, IdleHandler onIdle) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_thread.joinable()) {
    ZTMQ_LOG_WARN("m_start have start.");
    return false;
  }
  m_nWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_nWakeFd < 0) {
    ZTMQ_LOG_ERROR("start dealerThreadProc fail.");
    return false;
  }
  m_onMessage = std::move(onMessage);
  m_onIdle = std::move(onIdle);
  try {
    m_thread = std::thread(&dealer::recvProc, this);
  } catch (const std::system_error &) {
    ZTMQ_LOG_ERROR("start dealerThreadProc fail.");
    return false;
  }
  m_cvStarted.wait(lock, [this] { return m_bStarted; });
  return true;
}

void dealer::recvProc() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStarted = true;
  }
  m_cvStarted.notify_all();
  ZTMQ_LOG_DEBUG("=============== recv thread begin normally  ===============bindAddr:%s\n", m_strAddr.c_str());
  zmq_pollitem_t items[2] = {{m_socket.handle(), 0, ZMQ_POLLIN | ZMQ_POLLERR, 0},
                             {nullptr, m_nWakeFd, ZMQ_POLLIN, 0}};
  while (!m_bStop) {
    int nRet = zmq_poll(items, 2, kIdlePollMs);
    if (m_bStop) {
      break;
    }
    if (nRet < 0) {
      // A signal caught by the application only interrupts the wait.
      if (zmq_errno() == EINTR) {
        continue;
      }
      ZTMQ_LOG_ERROR("recvProc zmq_poll error ret:%d,BindAddr:%s,zmq_errno:%d,zmq_strerror:%s.\n", nRet,
                     m_strAddr.c_str(), zmq_errno(), zmq_strerror(zmq_errno()));
      break;
    }
    if (nRet == 0) {
      m_onIdle();
      continue;
    }
    if (items[0].revents & ZMQ_POLLERR) {
      ZTMQ_LOG_ERROR("recvProc zmq_poll ZMQ_POLLERR error ret:%d,BindAddr:%s.\n", nRet, m_strAddr.c_str());
      m_fifo.clear();
      break;
    }
    if (items[0].revents & ZMQ_POLLIN) {
      // Every message already waiting is taken before the next wait.
      do {
        receiveMessage();
      } while (!m_bStop && messageWaiting());
    }
  }
  ZTMQ_LOG_DEBUG("=============== recv thread exited normally  ===============bindAddr:%s", m_strAddr.c_str());
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bStarted = false;
}

bool dealer::messageWaiting() {
  int nEvents = 0;
  size_t nSize = sizeof nEvents;
  return zmq_getsockopt(m_socket.handle(), ZMQ_EVENTS, &nEvents, &nSize) == 0 && (nEvents & ZMQ_POLLIN) != 0;
}

// Reads the parts of one message into the fifo and hands it on after the last one.
void dealer::receiveMessage() {
  bool bTooLong = false;
  for (;;) {
    zmq_msg_t part;
    zmq_msg_init(&part);
    int nRet = zmq_msg_recv(&part, m_socket.handle(), 0);
    if (nRet <= 0) {
      ZTMQ_LOG_DEBUG("recvProc m_socket.recv(msg) null ret:%d,length:%d,BindAddr:%s.then continue.", nRet,
                     int(m_fifo.size()), m_strAddr.c_str());
      zmq_msg_close(&part);
      m_fifo.clear();
      return;
    }
    size_t nSize = zmq_msg_size(&part);
    if (nSize > kBigPart) {
      ZTMQ_LOG_DEBUG("recvProc a too big(>64KB) packet:%d,BindAddr:%s.", int(nSize), m_strAddr.c_str());
    }
    bTooLong = bTooLong || m_fifo.size() + nSize > kMaxMessageLength;
    if (!bTooLong) {
      m_fifo.put(zmq_msg_data(&part), nSize);
    }
    bool bMore = zmq_msg_more(&part) != 0;
    zmq_msg_close(&part);
    if (bMore) {
      ZTMQ_LOG_DEBUG("recv more data .continue recv... BindAddr:%s.", m_strAddr.c_str());
      continue;
    }
    if (bTooLong) {
      ZTMQ_LOG_ERROR("recvProc a message of more than %zu bytes dropped,BindAddr:%s.", kMaxMessageLength,
                     m_strAddr.c_str());
    } else {
      ZTMQ_LOG_DEBUG("total recv length:%d,  bindAddr:%s.", int(m_fifo.size()), m_strAddr.c_str());
      m_onMessage(m_fifo.terminatedData(), m_fifo.size());
    }
    m_fifo.clear();
    return;
  }
}

} // namespace zt::mq
