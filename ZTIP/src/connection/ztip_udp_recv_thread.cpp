// The UDP receive thread: one datagram at a time from every UDP socket, each checked as one
// frame and delivered in this thread to the socket's callbacks.
#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "connection/ztip_context.h"
#include "api/ztip_guard.h"
#include "api/ztip_library.h"
#include "connection/ztip_socket.h"
#include "connection/ztip_threads.h"
#include "log/ztip_transfer_log.h"
#include "codec/ztip_udp_reader.h"

#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace zt::ip {
namespace {

constexpr uint64_t kSlowDatagramMs = 1000;

struct UdpCallbacks {
  ZTIP_RecvCallback pRecv = nullptr;
  ZTIP_UdpRecordCallback pRecord = nullptr;
  ZTIP_WinRecvCallback pWin = nullptr;
  void *pWinUser = nullptr;
};

ZtipUdpPacket makeRecord(const ZtipContext &context, const ZTIP_Head_Para &para, uint32_t uLen,
                         const uint8_t *pData, const std::string &strIp, const std::string &strPort) {
  ZtipUdpPacket packet{};
  packet.socket_id = context.mSocketId;
  packet.server_socket_id = context.mServerSocketId;
  packet.crypt_mode = para.crypt_mode;
  packet.protocol_type = para.protocol_type;
  packet.func_code = para.func_code;
  packet.cmd = para.cmd;
  packet.status = para.status;
  packet.producttype = para.producttype;
  packet.unit_id = para.unit_id;
  packet.session_id = para.session_id;
  packet.data_len = uLen;
  packet.data = pData;
  std::strncpy(packet.ip, strIp.c_str(), sizeof(packet.ip) - 1);
  std::strncpy(packet.port, strPort.c_str(), sizeof(packet.port) - 1);
  return packet;
}

// Reads one datagram under the context's buffer lock and delivers it if it is a valid frame.
void deliverDatagram(ZtipContext &context, int nSocket) {
  if (context.mLinkSocket != nSocket || context.mbActive != 1)
    return;
  UdpCallbacks callbacks{context.mpRecvCallback, context.mpUdpCallback, context.mpWinCallback,
                         context.mpWinUser};
  sockaddr_in addr{};
  socklen_t nAddrLen = sizeof(addr);
  uint8_t *pBuf = context.mRecvBuffer.pBuf;
  ssize_t nLen =
      ::recvfrom(nSocket, pBuf, kUdpRecvMax, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&addr), &nAddrLen);
  if (nLen <= 0)
    return;
  context.mLastRecvMs = zt::tickMs();
  std::string strIp = addressText(addr);
  std::string strPort = portText(addr);
  ZtipHead head;
  UdpReadResult result = readDatagram(pBuf, static_cast<size_t>(nLen), strIp.c_str(), strPort.c_str(), head);
  if (result == UdpReadResult::HeadError)
    return;
  if (!context.mbPeerSeen) {
    context.mPeerProductType = head.uProductType;
    context.mPeerSubType = head.uSubType;
    context.mbPeerSeen = true;
  }
  if (result != UdpReadResult::Ok)
    return;
  ZTIP_Head_Para para = headToPara(head);
  const uint8_t *pData = pBuf + kHeadSize;
  ztipGuarded("UDP receive callbacks", [&] {
    if (callbacks.pRecv != nullptr)
      callbacks.pRecv(context.mSocketId, context.mServerSocketId, para, head.uObjLen, pData, nullptr, nullptr);
    if (callbacks.pRecord != nullptr)
      callbacks.pRecord(makeRecord(context, para, head.uObjLen, pData, strIp, strPort));
    if (callbacks.pWin != nullptr)
      callbacks.pWin(callbacks.pWinUser, context.mSocketId, context.mServerSocketId, para, head.uObjLen, pData);
  });
  logTransferRecord(false, false, para, head.uObjLen, nSocket, strIp.c_str(), strPort.c_str());
}

void receiveDatagram(ZtipContext &context, int nSocket) {
  std::lock_guard<std::mutex> bufferLock(context.mBufferLock);
  uint64_t uStart = zt::tickMs();
  deliverDatagram(context, nSocket);
  uint64_t uSpent = zt::tickMs() - uStart;
  if (uSpent > kSlowDatagramMs)
    ZTIPLog(kLogEvent, kAreaThread, "udp recv thread:single recv waster time:[%lld ms], client[%d], port[%s]",
            static_cast<long long>(uSpent), context.mSocketId, context.mszPeerPort);
}

} // namespace

void udpRecvThread() {
  ZtipLibrary &lib = library();
  std::vector<ZtipSocketSet::Member> vecReadable, vecFailed;
  while (lib.bRun) {
    if (!lib.udpSockets.wait(timings().nWaitTimeoutMs, vecReadable, vecFailed))
      continue;
    for (const ZtipSocketSet::Member &member : vecReadable)
      receiveDatagram(*contextAt(member.uSocketId), member.nSocket);
  }
}

} // namespace zt::ip
