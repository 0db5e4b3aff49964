#include "codec/ztip_head.h"

namespace zt::ip {

namespace {

void put16(uint8_t *p, uint16_t u) {
  p[0] = static_cast<uint8_t>(u >> 8);
  p[1] = static_cast<uint8_t>(u);
}

void put32(uint8_t *p, uint32_t u) {
  put16(p, static_cast<uint16_t>(u >> 16));
  put16(p + 2, static_cast<uint16_t>(u));
}

uint16_t get16(const uint8_t *p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t get32(const uint8_t *p) {
  return (static_cast<uint32_t>(get16(p)) << 16) | get16(p + 2);
}

} // namespace

void encodeHead(const ZtipHead &head, uint8_t *pOut) {
  put32(pOut, head.uStartMarker);
  pOut[4] = head.uProductType;
  pOut[5] = head.uSubType;
  pOut[6] = 0;
  pOut[7] = head.uPadFlag;
  put16(pOut + 8, head.uCryptMode);
  put16(pOut + 10, head.uStatus);
  put32(pOut + 12, head.uSessionId);
  put32(pOut + 16, head.uUnitId);
  pOut[20] = head.uProtocolType;
  pOut[21] = head.uFuncCode;
  put16(pOut + 22, head.uCmd);
  put32(pOut + 24, head.uObjLen);
  put16(pOut + 28, head.uCheckSum);
  put16(pOut + 30, 0);
}

ZtipHead decodeHead(const uint8_t *pIn) {
  ZtipHead head;
  head.uStartMarker = get32(pIn);
  head.uProductType = pIn[4];
  head.uSubType = pIn[5];
  head.uPadFlag = pIn[7];
  head.uCryptMode = get16(pIn + 8);
  head.uStatus = get16(pIn + 10);
  head.uSessionId = get32(pIn + 12);
  head.uUnitId = get32(pIn + 16);
  head.uProtocolType = pIn[20];
  head.uFuncCode = pIn[21];
  head.uCmd = get16(pIn + 22);
  head.uObjLen = get32(pIn + 24);
  head.uCheckSum = get16(pIn + 28);
  return head;
}

bool hasStartMarker(const uint8_t *p) {
  return p[0] == 0xAA && p[1] == 0x77 && p[2] == 0x7A && p[3] == 0xA7;
}

ZTIP_Head_Para headToPara(const ZtipHead &head) {
  ZTIP_Head_Para para{};
  para.crypt_mode = head.uCryptMode;
  para.protocol_type = head.uProtocolType;
  para.func_code = head.uFuncCode;
  para.cmd = head.uCmd;
  para.status = head.uStatus;
  para.producttype = head.uProductType;
  para.unit_id = head.uUnitId;
  para.session_id = head.uSessionId;
  return para;
}

} // namespace zt::ip
