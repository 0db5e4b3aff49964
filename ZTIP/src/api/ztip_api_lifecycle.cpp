// Starting and stopping the library: ztIP_Init, ztIP_Exit, the version and module texts.
#include "ZTIP.h"
#include "log/ZTIPMyFileLog.h"
#include "zt_common.h"
#include "connection/ztip_context.h"
#include "api/ztip_guard.h"
#include "codec/ztip_head.h"
#include "api/ztip_library.h"
#include "crash_report.h"
#include "codec/ztip_result.h"
#include "connection/ztip_socket.h"
#include "connection/ztip_socket_list.h"
#include "connection/ztip_threads.h"

#include <cstdio>
#include <new>

namespace zt::ip {
namespace {

const char *const kVersion = "V1.3.4";
const char *const kBuildDate = "Oct  8 2021";
const char *const kBuildTime = "10:06:50";
const char *const kModuleType = "ZTM2041";
const char *const kModuleName = "ZTIP";
constexpr int kDebugMode = 1;

void ignoreLogFrame(uint16_t, uint16_t, ZTIP_Head_Para, uint32_t, const uint8_t *, const char *,
                    const char *) {}

// Sends a log line as a frame from the log socket to the log port.
void broadcastLogLine(const char *pstrText, size_t nLen) {
  int nSocketId = library().nLogSocketId;
  if (nSocketId < 0)
    return;
  ZTIP_Head_Para head{};
  head.protocol_type = 0x80;
  head.func_code = 0x41;
  ztIP_UdpTransLog(static_cast<uint16_t>(nSocketId), &head, 0, static_cast<int>(nLen),
                   reinterpret_cast<const uint8_t *>(pstrText), kLogBroadcastPort);
}

void openLogSocket() {
  uint16_t uSocketId = 0;
  if (ztIP_StartUDPClient(&uSocketId, nullptr, kLogBroadcastPort, ignoreLogFrame) != kResultOk) {
    std::printf("start log transf failure\n");
    return;
  }
  library().nLogSocketId = uSocketId;
  setLogBroadcaster(broadcastLogLine);
}

void closeAllSockets() {
  for (uint16_t uId = 0; uId < kContextCount; ++uId) {
    ZtipContext &context = *contextAt(uId);
    std::lock_guard<std::mutex> bufferLock(context.mBufferLock);
    std::lock_guard<std::mutex> statusLock(context.mStatusLock);
    closeSocket(context.mLinkSocket);
  }
  ZtipLibrary &lib = library();
  lib.udpSockets.clear();
  lib.serverSockets.clear();
  lib.connectionSockets.clear();
}

} // namespace
} // namespace zt::ip

using namespace zt::ip;

extern "C" {

const char *getZTIPVersion(void) {
  return ztipGuarded("getZTIPVersion", static_cast<const char *>(""), [&]() -> const char * {
    return kVersion;
  });
}

uint8_t ztIP_Moduleinfo(ZtModuleInfo *info) {
  return ztipGuarded("ztIP_Moduleinfo", kResultFailed, [&]() -> uint8_t {
    if (info == nullptr)
      return kResultFailed;
    zt::fillModuleInfo(info, kVersion, std::string(kBuildDate) + " " + kBuildTime, kModuleType, kModuleName);
    return kResultOk;
  });
}

uint8_t ztIP_Init(int mode, uint8_t producttype, uint8_t subtype, int, ZTIP_KeyResultCallback keyResult,
                  void *, void *, void *) {
  return ztipGuarded("ztIP_Init", kResultFailed, [&]() -> uint8_t {
    ZtipLibrary &lib = library();
    if (lib.bInit)
      return kResultAlreadyInit;
    lib.bDebugMode = mode == kDebugMode;
    lib.uProductType = producttype;
    lib.uSubType = subtype;
    lib.bKeyLimitInForce = false;
    clearContextTable();
    openLibraryLog();
    ZTIPLog(kLogEvent, kAreaOperation, "ZTIP Lib:[initialize], version:%s(%s %s)", kVersion, kBuildDate,
            kBuildTime);
    ZTIPLog(kLogEvent, kAreaOperation,
            lib.bDebugMode ? "Init Mode:Debug Mode, No Encrypt" : "Init Mode:Release Mode, Encrypt");
    lib.pNormalQueue = std::make_unique<ZtipCallbackQueue>(kNormalQueueCount, false);
    lib.pPriorityQueue = std::make_unique<ZtipCallbackQueue>(kPriorityQueueCount, true);
    lib.pKeyResult = keyResult;
    lib.bInit = true;
    startThreads();
    openLogSocket();
    // A crash report in the working directory, unless the application has its own handlers.
    zt::platform::installCrashReport("ztipdump.dmp", "ZTIP crash report");
    return kResultOk;
  });
}

uint8_t ztIP_Exit(void) {
  return ztipGuarded("ztIP_Exit", kResultFailed, [&]() -> uint8_t {
    ZtipLibrary &lib = library();
    if (!lib.bInit)
      return kResultNotInit;
    ZTIPLog(kLogEvent, kAreaOperation, "ztIP_Exit");
    setLogBroadcaster(nullptr);
    lib.nLogSocketId = -1;
    stopThreads();
    closeAllSockets();
    lib.pNormalQueue.reset();
    lib.pPriorityQueue.reset();
    clearContextTable();
    releaseSocketList();
    closeLibraryLog();
    lib.bInit = false;
    return kResultOk;
  });
}

} // extern "C"
