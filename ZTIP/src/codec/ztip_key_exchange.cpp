#include "codec/ztip_key_exchange.h"
#include "api/ztip_guard.h"

#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "connection/ztip_connection_notify.h"
#include "codec/ztip_frame_builder.h"
#include "connection/ztip_frame_send.h"
#include "codec/ztip_key_material.h"
#include "api/ztip_library.h"
#include "codec/ztip_result.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace zt::ip {
namespace {

constexpr uint64_t kSlowStepMs = 100;

bool sendKeyFrameLocked(ZtipContext &context, uint16_t uCmd, uint16_t uStatus, const uint8_t *pPayload) {
  return sendFrameLocked(context, keyExchangePara(uCmd, uStatus), pPayload, kMaterialSize) == kResultOk;
}

// What has to happen once the status lock is released.
struct AfterStep {
  bool bAgreed = false;         // call the key-result callback
  bool bNotifyAccepted = false; // tell the application of the accepted connection
  uint8_t uPeerProductType = 0;
};

// Second pass, by the connecting side: mask the received value with own material Q.
void answerFirstPass(ZtipContext &context, const uint8_t *pPayload) {
  uint64_t uStart = zt::tickMs();
  generateKeyMaterial(context.mKeys.mOwnMaterial);
  uint64_t uSpent = zt::tickMs() - uStart;
  if (uSpent > kSlowStepMs)
    ZTIPLog(kLogEvent, kAreaKeyExchange, "tcp recv thread:client generate key waster %lld]",
            static_cast<long long>(uSpent));
  uint8_t arrValue[kMaterialSize];
  maskValue(context.mKeys.mOwnMaterial, pPayload, arrValue);
  if (!sendKeyFrameLocked(context, kCmdKeyExchange, kStatusOk, arrValue)) {
    ZTIPLog(kLogError, kAreaKeyExchange, "ztIP_RandomKeyCommand1,1,0606 4f4b send fail, disconnect!");
    context.mbActive = 0;
    return;
  }
  context.mKeys.mKmState = kKmRunning;
}

// Third pass, by the accepting side: remove own mask A, leaving B masked with Q.
void answerSecondPass(ZtipContext &context, const uint8_t *pPayload) {
  uint64_t uStart = zt::tickMs();
  if (context.mKeys.mKmState != kKmRunning) {
    ZTIPLog(
        kLogError, kAreaKeyExchange,
        "ztIP_RandomKeyCommand2,0607 0000 find context ramdom status error socketid:%d, ip:[%s], port:[%s]",
        context.mSocketId, context.mszPeerIp, context.mszPort);
    context.mbActive = 0;
    return;
  }
  uint8_t arrValue[kMaterialSize];
  maskValue(context.mKeys.mOwnMaterial, pPayload, arrValue);
  if (!sendKeyFrameLocked(context, kCmdKeyExchangeConfirm, kStatusRequest, arrValue)) {
    ZTIPLog(kLogError, kAreaKeyExchange, "ztIP_RandomKeyCommand2,send 0607 0000 error ip:[%s], port[%s]",
            context.mszPeerIp, context.mszPort);
    context.mbActive = 0;
  } else {
    context.mbThirdPassSent = true;
  }
  uint64_t uSpent = zt::tickMs() - uStart;
  if (uSpent > kSlowStepMs)
    ZTIPLog(kLogEvent, kAreaKeyExchange, "answer recv 0606 4f4b waster time:%lld",
            static_cast<long long>(uSpent));
}

std::string materialText(const uint8_t *pMaterial) {
  std::string strText;
  char szByte[4];
  for (size_t i = 0; i < kMaterialSize; ++i) {
    std::snprintf(szByte, sizeof(szByte), "%02x ", pMaterial[i]);
    strText += szByte;
  }
  return strText;
}

// Fourth pass, by the connecting side: removing Q gives B, which is confirmed with "OK".
void answerThirdPass(ZtipContext &context, const uint8_t *pPayload, AfterStep &after) {
  if (context.mKeys.mKmState != kKmRunning) {
    ZTIPLog(kLogError, kAreaKeyExchange, "ztIP_EndKeyContact,3,0607 4f4b send fail, disconnect!");
    context.mbActive = 0;
    return;
  }
  uint8_t arrSession[kMaterialSize];
  maskValue(context.mKeys.mOwnMaterial, pPayload, arrSession);
  uint8_t arrOk[kMaterialSize] = {'O', 'K'};
  if (!sendKeyFrameLocked(context, kCmdKeyExchangeConfirm, kStatusOk, arrOk)) {
    ZTIPLog(kLogError, kAreaKeyExchange, "ztIP_EndKeyContact,1,0607 4f4b send fail, disconnect!");
    context.mbActive = 0;
    return;
  }
  agreeSessionKeys(context.mKeys, arrSession);
  after.bAgreed = true;
  ZTIPLog(kLogEvent, kAreaKeyExchange, "Random Key Exchange complete recv[key:%s]",
          materialText(arrSession).c_str());
}

// The confirmation reaches the accepting side: its own B is the session material. Only an
// exchange whose third pass went out can be confirmed; otherwise a peer could skip the passes
// and be announced to the application as connected with keys it does not hold.
void completeExchange(ZtipContext &context, AfterStep &after) {
  uint64_t uStart = zt::tickMs();
  if (context.mKeys.mKmState != kKmRunning || !context.mbThirdPassSent) {
    ZTIPLog(kLogError, kAreaKeyExchange,
            "ztIP_KeyContactProcedure,0607 4f4b ramdom status error socketid:%d, ip:[%s], port:[%s]",
            context.mSocketId, context.mszPeerIp, context.mszPort);
    context.mbActive = 0;
    return;
  }
  agreeSessionKeys(context.mKeys, context.mExchangeMaterial);
  after.bAgreed = true;
  after.bNotifyAccepted = true;
  uint64_t uSpent = zt::tickMs() - uStart;
  if (uSpent > kSlowStepMs)
    ZTIPLog(kLogEvent, kAreaKeyExchange, "answer recv 0607 4f4b waster time:%lld",
            static_cast<long long>(uSpent));
}

// An unexpected status: forget the keys and start again as the initiating side.
void restartExchange(ZtipContext &context, const ZtipHead &head) {
  ZTIPLog(kLogError, kAreaKeyExchange, "ztIP_KeyContactProcedure,%04x status[%04x] recv", head.uCmd,
          head.uStatus);
  context.mKeys.mKmState = kKmNone;
  context.mKeys.mDesKeyState = kDesKeyNone;
  if (startKeyContactLocked(context) != kResultOk) {
    ZTIPLog(kLogError, kAreaKeyExchange,
            "ztIP_KeyContactProcedure ztIP_StartKeyContact (0x%04x) 0606 0000 send fail, disconnect!",
            head.uCmd);
    context.mbActive = 0;
  }
}

void runAfterStep(ZtipContext &context, const AfterStep &after) {
  if (after.bAgreed) {
    ZTIP_KeyResultCallback pKeyResult = library().pKeyResult;
    if (pKeyResult != nullptr &&
        ztipGuarded("key-exchange result callback", 0, [&] { return pKeyResult(after.uPeerProductType); }) == 1)
      library().bKeyLimitInForce = true;
  }
  if (after.bNotifyAccepted) {
    uint64_t uStart = zt::tickMs();
    notifyConnection(kConnectionAccepted, kStatusConnected, context.mSocketId, context.mszPeerIp,
                     std::atoi(context.mszPort));
    ZTIPLog(kLogEvent, kAreaKeyExchange,
            "tcp client negitive connect success: socketid[%d], socket[%d], ip[%s], port[%s]",
            context.mSocketId, context.mLinkSocket, context.mszPeerIp, context.mszPort);
    uint64_t uSpent = zt::tickMs() - uStart;
    if (uSpent > kSlowStepMs)
      ZTIPLog(kLogEvent, kAreaKeyExchange,
              "tcp recv thread:server connected notify waster time:[%lld ms], ip[%s], port[%s]",
              static_cast<long long>(uSpent), context.mszPeerIp, context.mszPort);
  }
}

} // namespace

uint8_t startKeyContactLocked(ZtipContext &context) {
  context.mbThirdPassSent = false;
  generateKeyMaterial(context.mKeys.mOwnMaterial);
  generateKeyMaterial(context.mExchangeMaterial);
  uint8_t arrValue[kMaterialSize];
  maskValue(context.mKeys.mOwnMaterial, context.mExchangeMaterial, arrValue);
  if (!sendKeyFrameLocked(context, kCmdKeyExchange, kStatusRequest, arrValue)) {
    ZTIPLog(kLogError, kAreaKeyExchange, "ztIP_StartKeyContact,send 0606 0000 error ip:[%s], port[%s]",
            context.mszPeerIp, context.mszPort);
    return kResultCryptMode;
  }
  context.mKeys.mKmState = kKmRunning;
  return kResultOk;
}

void keyContactProcedure(ZtipContext &context, const ZtipHead &head, const uint8_t *pPayload) {
  if (head.uObjLen != kMaterialSize) {
    // Every pass carries 32 bytes; reading a shorter payload would run past the frame.
    ZTIPLog(kLogError, kAreaKeyExchange, "ztIP_KeyContactProcedure,%04x obj_len[%u] error", head.uCmd,
            head.uObjLen);
    return;
  }
  AfterStep after;
  after.uPeerProductType = head.uProductType;
  {
    std::lock_guard<std::mutex> lock(context.mStatusLock);
    if (context.mbActive != 1)
      return;
    if (head.uCmd == kCmdKeyExchange && head.uStatus == kStatusRequest)
      answerFirstPass(context, pPayload);
    else if (head.uCmd == kCmdKeyExchange && head.uStatus == kStatusOk)
      answerSecondPass(context, pPayload);
    else if (head.uCmd == kCmdKeyExchangeConfirm && head.uStatus == kStatusRequest)
      answerThirdPass(context, pPayload, after);
    else if (head.uCmd == kCmdKeyExchangeConfirm && head.uStatus == kStatusOk)
      completeExchange(context, after);
    else
      restartExchange(context, head);
  }
  runAfterStep(context, after);
}

} // namespace zt::ip
