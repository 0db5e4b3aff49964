#include "codec/ztip_stream_reader.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "codec/ztip_crc.h"
#include "codec/ztip_result.h"

namespace zt::ip {

namespace {

constexpr uint64_t kSlowStepMs = 101;

std::atomic<uint64_t> g_uSkippedBytes{0};

// Moves the bytes from nFrom to the end of the data to the start of the buffer and keeps them.
void keepTail(ZtipRecvBuffer &buffer, size_t nFrom, size_t nData) {
  buffer.nFill = nData - nFrom;
  if (nFrom != 0 && buffer.nFill != 0)
    std::memmove(buffer.pBuf, buffer.pBuf + nFrom, buffer.nFill);
  buffer.nOffset = 0;
}

void dropAll(ZtipRecvBuffer &buffer) {
  buffer.nFill = 0;
  buffer.nOffset = 0;
}

// Grows the buffer five-fold until a frame of nObjLen payload bytes fits behind its head.
bool growFor(ZtipRecvBuffer &buffer, size_t nObjLen) {
  size_t nNewSize = buffer.nSize;
  while (nNewSize - kHeadSize < nObjLen)
    nNewSize *= kRecvBufferGrowth;
  auto *pNew = static_cast<uint8_t *>(std::malloc(nNewSize));
  if (pNew == nullptr)
    return false;
  std::memcpy(pNew, buffer.pBuf, buffer.nSize);
  std::free(buffer.pBuf);
  buffer.pBuf = pNew;
  buffer.nSize = nNewSize;
  ZTIPLog(kLogEvent, kAreaQueue, "ReallocRecvBuff buffsize:%zu", nNewSize);
  return true;
}

// Checks the frame's CRC over the bytes as received and, in release mode, decrypts an
// encrypted payload in place. Returns the data length to deliver, or -1 to drop the frame.
long checkFrame(const ZtipHead &head, uint8_t *pPayload, const StreamReadOptions &options,
                const ZtipKeys &keys) {
  size_t nPadding = head.uPadFlag & kPadCountMask;
  uint16_t uRealCheckSum = crc16Xmodem(pPayload, head.uObjLen);
  bool bGood = uRealCheckSum == head.uCheckSum && nPadding <= head.uObjLen;
  if (bGood && !options.bDebugMode) {
    if ((head.uPadFlag & kPadFlagEncrypted) != 0 || head.uProductType == kProductTypeAlwaysEncrypted) {
      uint64_t uStart = zt::tickMs();
      bGood = decryptPayload(keys, head.uCryptMode, head.uObjLen, pPayload) == kResultOk;
      uint64_t uSpent = zt::tickMs() - uStart;
      if (uSpent >= kSlowStepMs)
        ZTIPLog(kLogEvent, kAreaConnection,
                "tcp recv thread:decrypt data waster time:[%lld ms], obj_id[%04x], obj_len[%08x], "
                "Algorithm[%04x]",
                static_cast<long long>(uSpent), head.uCmd, head.uObjLen, head.uCryptMode);
    } else if (nPadding != 0) {
      // Padding is only ever produced together with encryption; anything else is corrupt.
      bGood = false;
    }
  }
  if (!bGood) {
    ZTIPLog(kLogError, kAreaConnection,
            "small block recv check sum error cryptMode:%04x, status:%04x, obj_id:%04x,  obj_len:%08x, "
            "check_sum:%04x, real_check_sum:%04x",
            head.uCryptMode, head.uStatus, head.uCmd, head.uObjLen, head.uCheckSum, uRealCheckSum);
    return -1;
  }
  return static_cast<long>(head.uObjLen - nPadding);
}

} // namespace

bool recvBufferAlloc(ZtipRecvBuffer &buffer) {
  buffer.pBuf = static_cast<uint8_t *>(std::calloc(kRecvBufferInitialSize, 1));
  buffer.nSize = buffer.pBuf == nullptr ? 0 : kRecvBufferInitialSize;
  buffer.nFill = 0;
  buffer.nOffset = 0;
  return buffer.pBuf != nullptr;
}

void recvBufferFree(ZtipRecvBuffer &buffer) {
  std::free(buffer.pBuf);
  buffer = ZtipRecvBuffer{};
}

uint64_t skippedByteCount() {
  return g_uSkippedBytes.load(std::memory_order_relaxed);
}

void readStream(ZtipRecvBuffer &buffer, size_t nReceived, const StreamReadOptions &options,
                const ZtipKeys &keys, StreamFrameSink &sink) {
  size_t nData = buffer.nFill + nReceived;
  buffer.nOffset = 0;
  for (;;) {
    uint64_t uSearchStart = zt::tickMs();
    size_t nPos = buffer.nOffset;
    while (nPos + kHeadSize <= nData && !hasStartMarker(buffer.pBuf + nPos))
      ++nPos;
    g_uSkippedBytes.fetch_add(nPos - buffer.nOffset, std::memory_order_relaxed);
    uint64_t uSpent = zt::tickMs() - uSearchStart;
    if (uSpent >= kSlowStepMs)
      ZTIPLog(kLogEvent, kAreaConnection, "tcp recv thread:find package head waster time:[%lld ms]",
              static_cast<long long>(uSpent));
    if (nPos + kHeadSize > nData) {
      // The last bytes may hold the beginning of a marker: keep them for the next recv.
      keepTail(buffer, nPos, nData);
      return;
    }
    buffer.nOffset = nPos;

    ZtipHead head = decodeHead(buffer.pBuf + nPos);
    sink.onHead(head);
    if (head.uCmd == kCmdHeartbeat) {
      buffer.nOffset += kHeadSize;
      continue;
    }
    if (head.uObjLen > kMaxFramePayload ||
        (buffer.nSize - kHeadSize < head.uObjLen && !growFor(buffer, head.uObjLen))) {
      ZTIPLog(kLogError, kAreaQueue,
              "data too long to recv, comHead.obj_len:%u, comHead.obj_id:%04x, malloc memory failure",
              head.uObjLen, head.uCmd);
      dropAll(buffer);
      return;
    }
    if (nData - nPos - kHeadSize < head.uObjLen) {
      keepTail(buffer, nPos, nData);
      ZTIPLog(kLogStep, kAreaConnection, "data break! recv size:[%zu]", nReceived);
      return;
    }

    uint8_t *pPayload = buffer.pBuf + nPos + kHeadSize;
    if (isKeyExchangeCmd(head.uCmd) && !options.bCompleteLog) {
      uint64_t uQueueStart = zt::tickMs();
      sink.onKeyExchangeFrame(head, pPayload);
      uint64_t uQueueSpent = zt::tickMs() - uQueueStart;
      if (uQueueSpent >= kSlowStepMs)
        ZTIPLog(kLogEvent, kAreaConnection, "tcp recv thread:in queue waster time:[%lld ms], obj_id[%04x]",
                static_cast<long long>(uQueueSpent), head.uCmd);
    } else {
      long nDataLen = checkFrame(head, pPayload, options, keys);
      if (nDataLen >= 0)
        sink.onFrame(head, pPayload, static_cast<uint32_t>(nDataLen));
    }
    buffer.nOffset = nPos + kHeadSize + head.uObjLen;
  }
}

} // namespace zt::ip
