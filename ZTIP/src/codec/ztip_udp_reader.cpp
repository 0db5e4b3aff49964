#include "codec/ztip_udp_reader.h"

#include "log/ZTIPMyFileLog.h"
#include "codec/ztip_crc.h"
#include "codec/ztip_stream_reader.h"

namespace zt::ip {

UdpReadResult readDatagram(const uint8_t *pDatagram, size_t nLen, const char *pstrSrcIp,
                           const char *pstrSrcPort, ZtipHead &head) {
  if (nLen < kHeadSize || !hasStartMarker(pDatagram)) {
    ZTIPLog(kLogError, kAreaThread, "Recv Thread Operation[UDP head error!]");
    return UdpReadResult::HeadError;
  }
  head = decodeHead(pDatagram);
  if (head.uObjLen != nLen - kHeadSize) {
    ZTIPLog(kLogError, kAreaThread,
            "Recv Thread Operation[receive package length error, headParam.len:%u, recv datalength:%zu, lost "
            "data "
            "count:%llu] srcip:%s, srcport:%s",
            head.uObjLen, nLen, static_cast<unsigned long long>(skippedByteCount()), pstrSrcIp, pstrSrcPort);
    return UdpReadResult::LengthError;
  }
  uint16_t uRealCheckSum = crc16Xmodem(pDatagram + kHeadSize, head.uObjLen);
  if (uRealCheckSum != head.uCheckSum) {
    ZTIPLog(kLogError, kAreaThread,
            "small block recv check sum error cryptMode:%04x, status:%04x, obj_id:%04x,  obj_len:%08x, "
            "check_sum:%04x, real_check_sum:%04x, srcip:%s, srcport:%s",
            head.uCryptMode, head.uStatus, head.uCmd, head.uObjLen, head.uCheckSum, uRealCheckSum, pstrSrcIp,
            pstrSrcPort);
    return UdpReadResult::CheckSumError;
  }
  return UdpReadResult::Ok;
}

} // namespace zt::ip
