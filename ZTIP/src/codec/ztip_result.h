// One-byte result codes of the library's operations; 0x01 is success everywhere.
#pragma once

#include <cstdint>

namespace zt::ip {

constexpr uint8_t kResultFailed = 0x00;
constexpr uint8_t kResultOk = 0x01;
constexpr uint8_t kResultPriorityList = 0xC1;
constexpr uint8_t kResultPayloadTooLong = 0xC2;
constexpr uint8_t kResultKeyNotReady = 0xC3;
constexpr uint8_t kResultUdpTooLong = 0xC5;
constexpr uint8_t kResultHeadRejected = 0xC6;
constexpr uint8_t kResultReuseAddr = 0xC9;
constexpr uint8_t kResultWorkBuffer = 0xCB;
constexpr uint8_t kResultCryptMode = 0xCC;
constexpr uint8_t kResultRandomKeyMissing = 0xCD;
constexpr uint8_t kResultDesKeyMissing = 0xCE;
constexpr uint8_t kResultListen = 0xCF;
constexpr uint8_t kResultRecvBuffSize = 0xD0;
constexpr uint8_t kResultRecvTimeout = 0xD1;
constexpr uint8_t kResultBroadcast = 0xD2;
constexpr uint8_t kResultBind = 0xD3;
constexpr uint8_t kResultConnect = 0xD4;
constexpr uint8_t kResultUdpClientNonBlocking = 0xD5;
constexpr uint8_t kResultSocket = 0xD6;
constexpr uint8_t kResultCallbackMissing = 0xD7;
constexpr uint8_t kResultNoFreeContext = 0xD8;
constexpr uint8_t kResultNoContext = 0xD9;
constexpr uint8_t kResultHeadKeyCmd = 0xDB;
constexpr uint8_t kResultNonBlocking = 0xDF;
constexpr uint8_t kResultBufferSizes = 0xE0;
constexpr uint8_t kResultConnectTimeout = 0xE1;
constexpr uint8_t kResultIncompleteSend = 0xF3;
constexpr uint8_t kResultAddressMissing = 0xF5;
constexpr uint8_t kResultSocketLibrary = 0xFC;
constexpr uint8_t kResultAlreadyInit = 0xFD;
constexpr uint8_t kResultNotInit = 0xFE;

} // namespace zt::ip
