#include "codec/ztip_frame_builder.h"

#include <cstring>

#include "log/ZTIPMyFileLog.h"
#include "codec/ztip_crc.h"
#include "codec/ztip_result.h"

namespace zt::ip {

namespace {

constexpr uint8_t kLibraryProtocolType = 0x80;
constexpr uint8_t kHeartbeatFuncCode = 0x41;
constexpr uint32_t kHeartbeatSessionId = 0x00001235;
constexpr uint8_t kKeyExchangeFuncCode = 0x10;

ZtipHead headFor(const FrameSender &sender, const ZTIP_Head_Para &para) {
  ZtipHead head;
  head.uProductType = sender.uProductType;
  head.uSubType = sender.uSubType;
  head.uCryptMode = para.crypt_mode;
  head.uStatus = para.status;
  head.uSessionId = para.session_id;
  head.uUnitId = para.unit_id;
  head.uProtocolType = para.protocol_type;
  head.uFuncCode = para.func_code;
  head.uCmd = para.cmd;
  return head;
}

} // namespace

void assembleFrame(const FrameSender &sender, const ZTIP_Head_Para &para, uint8_t uPadFlag,
                   const uint8_t *pPayload, size_t nLen, std::vector<uint8_t> &vecFrame) {
  ZtipHead head = headFor(sender, para);
  head.uPadFlag = uPadFlag;
  head.uObjLen = static_cast<uint32_t>(nLen);
  head.uCheckSum = nLen == 0 ? 0 : crc16Xmodem(pPayload, nLen);
  vecFrame.resize(kHeadSize + nLen);
  encodeHead(head, vecFrame.data());
  if (nLen != 0)
    std::memcpy(vecFrame.data() + kHeadSize, pPayload, nLen);
}

uint8_t buildFrame(const FrameSender &sender, const ZtipKeys &keys, const ZTIP_Head_Para &para,
                   const uint8_t *pData, int nLen, std::vector<uint8_t> &vecFrame) {
  if (nLen < 0 || (nLen > 0 && pData == nullptr)) {
    ZTIPLog(kLogError, kAreaOperation, "buildFrame,bad payload,len:%d", nLen);
    return kResultFailed;
  }
  size_t nPlainLen = static_cast<size_t>(nLen);
  if (nPlainLen > kMaxSendPayload) {
    ZTIPLog(kLogError, kAreaOperation, "send data over 2457600 bytes");
    return kResultPayloadTooLong;
  }
  ZTIP_Head_Para wirePara = para;
  wirePara.crypt_mode = resolveCryptMode(keys, para.crypt_mode);
  if (sender.bReleaseMode && sender.bTcp && !isKeyExchangeCmd(para.cmd) && !keysAgreed(keys))
    return kResultKeyNotReady;

  bool bEncrypt = nPlainLen != 0 && sender.bTcp && sender.bReleaseMode &&
                  (isRandomFamily(wirePara.crypt_mode) || isDesFamily(wirePara.crypt_mode));
  if (bEncrypt) {
    size_t nWireLen = isDesFamily(wirePara.crypt_mode) ? (nPlainLen + 7) / 8 * 8 : nPlainLen;
    // The payload and its zero padding are copied behind the head and encrypted there in
    // place; vecFrame may be reused from an earlier frame, so the padding is written here.
    vecFrame.resize(kHeadSize + nWireLen);
    uint8_t *pPayload = vecFrame.data() + kHeadSize;
    std::memcpy(pPayload, pData, nPlainLen);
    std::memset(pPayload + nPlainLen, 0, nWireLen - nPlainLen);
    uint8_t uResult = encryptPayload(keys, wirePara.crypt_mode, nWireLen, pPayload, pPayload);
    if (uResult != kResultOk)
      return uResult;
    ZtipHead head = headFor(sender, wirePara);
    head.uPadFlag = static_cast<uint8_t>(kPadFlagEncrypted | (nWireLen - nPlainLen));
    head.uObjLen = static_cast<uint32_t>(nWireLen);
    head.uCheckSum = crc16Xmodem(vecFrame.data() + kHeadSize, nWireLen);
    encodeHead(head, vecFrame.data());
  } else {
    assembleFrame(sender, wirePara, 0, pData, nPlainLen, vecFrame);
  }

  if (!sender.bTcp && vecFrame.size() > kMaxUdpSendFrame) {
    ZTIPLog(kLogError, kAreaOperation, "send hav't execute because UDP data too long, max:8192 bytes");
    return kResultUdpTooLong;
  }
  return kResultOk;
}

void buildHeartbeatFrame(const FrameSender &sender, uint32_t uLastUnitId, uint8_t *pOut) {
  ZtipHead head;
  head.uProductType = sender.uProductType;
  head.uSubType = sender.uSubType;
  head.uSessionId = kHeartbeatSessionId;
  head.uUnitId = uLastUnitId;
  head.uProtocolType = kLibraryProtocolType;
  head.uFuncCode = kHeartbeatFuncCode;
  head.uCmd = kCmdHeartbeat;
  encodeHead(head, pOut);
}

ZTIP_Head_Para keyExchangePara(uint16_t uCmd, uint16_t uStatus) {
  ZTIP_Head_Para para{};
  para.crypt_mode = kCryptPlain;
  para.protocol_type = kLibraryProtocolType;
  para.func_code = kKeyExchangeFuncCode;
  para.cmd = uCmd;
  para.status = uStatus;
  return para;
}

} // namespace zt::ip
