#include "zmqcpp.h"

#include <cerrno>
#include <chrono>
#include <thread>
#include <mutex>
#include <zmq.h>

#include "inproc_endpoints.h"
#include "task_address.h"
#include "ztmq_log.h"

namespace zt::mq::zmq {

namespace {

constexpr int kMaxSockets = 1024;
// ZeroMQ releases a closed socket's tcp listener on its I/O thread, a moment after the close.
constexpr std::chrono::milliseconds kBindRetryTime{250};

struct ContextState {
  std::mutex mutex;
  void *pContext = nullptr;
  int nRefCount = 0;
};

// Never destroyed: the last sockets may close while the process exits.
ContextState &contextState() {
  static auto *pState = new ContextState;
  return *pState;
}

// Called with the context lock held.
void *getInstance(ContextState &state) {
  if (state.pContext == nullptr) {
    state.pContext = zmq_ctx_new();
    if (state.pContext == nullptr) {
      ZTMQ_LOG_ERROR("zmq_ctx_new Construct error,m_ctx is NULL.");
      return nullptr;
    }
    if (zmq_ctx_set(state.pContext, ZMQ_MAX_SOCKETS, kMaxSockets) != 0) {
      ZTMQ_LOG_ERROR("ERROR:[%s]-%d: %d:%s\n", "zmq_ctx_set(m_ctx, ZMQ_MAX_SOCKETS, 1024)", __LINE__, zmq_errno(),
                     zmq_strerror(zmq_errno()));
    }
    ZTMQ_LOG_DEBUG("context get ZMQ_MAX_SOCKETS:%d.", zmq_ctx_get(state.pContext, ZMQ_MAX_SOCKETS));
  }
  ++state.nRefCount;
  ZTMQ_LOG_DEBUG("getInstance gvContextRefCount:%d.", state.nRefCount);
  return state.pContext;
}

} // namespace

void *context::newSocket(int nType) {
  ContextState &state = contextState();
  std::lock_guard<std::mutex> lock(state.mutex);
  void *pContext = getInstance(state);
  return pContext != nullptr ? zmq_socket(pContext, nType) : nullptr;
}

void context::releaseInstance() {
  ContextState &state = contextState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.nRefCount > 0) {
    --state.nRefCount;
  }
  ZTMQ_LOG_DEBUG("releaseInstance gvContextRefCount:%d.", state.nRefCount);
  if (state.nRefCount == 0 && state.pContext != nullptr) {
    ZTMQ_LOG_DEBUG("releaseInstance need delete instance.");
    if (zmq_ctx_destroy(state.pContext) != 0) {
      ZTMQ_LOG_ERROR("ERROR:[%s]-%d: %d:%s\n", "zmq_ctx_destroy(m_ctx)", __LINE__, zmq_errno(),
                     zmq_strerror(zmq_errno()));
    }
    state.pContext = nullptr;
  }
}

socket::socket() : m_pSocket(context::newSocket(ZMQ_DEALER)) {
  if (m_pSocket != nullptr) {
    ZTMQ_LOG_DEBUG("Construct get a socket type:%d m_socket=0x%p", ZMQ_DEALER, m_pSocket);
  } else {
    ZTMQ_LOG_ERROR("m_socket zmq_socket is NULL zmq_errno:%d,zmq_strerror:%s.", zmq_errno(),
                   zmq_strerror(zmq_errno()));
  }
}

socket::~socket() {
  if (m_pSocket != nullptr) {
    close();
  }
  context::releaseInstance();
}

int socket::connect(const std::string &strAddr) {
  std::string strEndpoint = endpointOf(strAddr);
  m_bPeerInproc = !isTcpAddress(strAddr);
  m_uPeerSerial = m_bPeerInproc ? InprocEndpoints::instance().serialOf(strAddr) : 0;
  int nRet = zmq_connect(m_pSocket, strEndpoint.c_str());
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("connect error nRet:%d,zmq_errno=%d zmq_strerror=%s.", nRet, zmq_errno(),
                   zmq_strerror(zmq_errno()));
    return nRet;
  }
  m_strServerAddr = strAddr;
  ZTMQ_LOG_DEBUG("connect realAddr:%s,addr:%s.", strEndpoint.c_str(), strAddr.c_str());
  return 0;
}

int socket::bind(const std::string &strAddr) {
  std::string strEndpoint = endpointOf(strAddr);
  bool bTcp = isTcpAddress(strAddr);
  auto deadline = std::chrono::steady_clock::now() + kBindRetryTime;
  int nRet = zmq_bind(m_pSocket, strEndpoint.c_str());
  while (nRet != 0 && bTcp && zmq_errno() == EADDRINUSE && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    nRet = zmq_bind(m_pSocket, strEndpoint.c_str());
  }
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("bind fail,addr:%s,m_bindAddr:%s,zmq_errno=%d zmq_strerror=%s.", strEndpoint.c_str(),
                   strAddr.c_str(), zmq_errno(), zmq_strerror(zmq_errno()));
    return nRet;
  }
  m_strBindAddr = strAddr;
  if (!bTcp) {
    InprocEndpoints::instance().add(strAddr);
    m_bBoundInproc = true;
  }
  return 0;
}

int socket::setOpt(int nOption, int nValue) {
  int nRet = zmq_setsockopt(m_pSocket, nOption, &nValue, sizeof nValue);
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("ERROR:[%s]-%d: %d:%s\n", "zmq_setsockopt(m_socket, option, &value, 4)", nOption, zmq_errno(),
                   zmq_strerror(zmq_errno()));
  }
  return nRet;
}

int socket::send(const void *pData, size_t nLength, int nFlags) {
  int nRet = zmq_send(m_pSocket, pData, nLength, nFlags);
  if (nRet < 0) {
    ZTMQ_LOG_ERROR("send error ret:%d,zmq_errno=%d zmq_strerror=%s,m_serverAddr:%s,m_bindAddr:%s.", nRet,
                   zmq_errno(), zmq_strerror(zmq_errno()), m_strServerAddr.c_str(), m_strBindAddr.c_str());
  }
  return nRet;
}

int socket::close() {
  if (m_pSocket == nullptr) {
    ZTMQ_LOG_WARN("socket has close,m_serverAddr:%s,m_bindAddr:%s.", m_strServerAddr.c_str(), m_strBindAddr.c_str());
    return 0;
  }
  if (!m_strBindAddr.empty()) {
    if (m_bBoundInproc) {
      InprocEndpoints::instance().remove(m_strBindAddr);
    }
    // Unbinding first frees the address at once; the close alone frees it some time later, and a
    // task made again at the same address could not bind.
    zmq_unbind(m_pSocket, endpointOf(m_strBindAddr).c_str());
  }
  int nRet = zmq_close(m_pSocket);
  if (nRet != 0) {
    ZTMQ_LOG_ERROR("socket close fail,m_serverAddr:%s,m_bindAddr:%s,zmq_errno:%d,zmq_strerror:%s.",
                   m_strServerAddr.c_str(), m_strBindAddr.c_str(), zmq_errno(), zmq_strerror(zmq_errno()));
  }
  m_pSocket = nullptr;
  return nRet;
}

bool socket::peerBindingChanged() const {
  return m_bPeerInproc && InprocEndpoints::instance().serialOf(m_strServerAddr) != m_uPeerSerial;
}

} // namespace zt::mq::zmq
