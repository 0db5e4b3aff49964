#include "crash_report.h"

#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace zt::platform {
namespace {

constexpr int kMaxFrames = 64;
const int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// Fixed buffers: the handler may not allocate.
char g_szPath[4096];
char g_szTitle[256];
std::mutex g_installMutex;

void writeText(int nFd, const char *pstrText) {
  ssize_t nIgnored = write(nFd, pstrText, std::strlen(pstrText));
  (void)nIgnored;
}

void writeNumber(int nFd, int nValue) {
  char szDigits[12];
  int nPos = sizeof(szDigits) - 1;
  szDigits[nPos] = '\0';
  do {
    szDigits[--nPos] = static_cast<char>('0' + nValue % 10);
    nValue /= 10;
  } while (nValue > 0 && nPos > 0);
  writeText(nFd, szDigits + nPos);
}

// Only async-signal-safe calls: the process state is unknown here.
void onFatalSignal(int nSignal) {
  int nFd = open(g_szPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (nFd >= 0) {
    writeText(nFd, g_szTitle);
    writeText(nFd, "\nsignal: ");
    writeNumber(nFd, nSignal);
    writeText(nFd, "\nbacktrace:\n");
    void *arrFrames[kMaxFrames];
    backtrace_symbols_fd(arrFrames, backtrace(arrFrames, kMaxFrames), nFd);
    close(nFd);
  }
  // SA_RESETHAND restored the default action: raising again ends the process as usual.
  raise(nSignal);
}

bool isFree(int nSignal) {
  struct sigaction current {};
  return sigaction(nSignal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
         (current.sa_flags & SA_SIGINFO) == 0;
}

void copyText(char *pDest, size_t nSize, const std::string &strText) {
  size_t nLen = std::min(strText.size(), nSize - 1);
  std::memcpy(pDest, strText.data(), nLen);
  pDest[nLen] = '\0';
}

} // namespace

void installCrashReport(const std::string &strFilePath, const std::string &strTitle) {
  std::lock_guard<std::mutex> lock(g_installMutex);
  bool bAnyFree = false;
  for (int nSignal : kFatalSignals)
    bAnyFree = bAnyFree || isFree(nSignal);
  if (!bAnyFree)
    return;
  // backtrace() loads its unwinder on first use, which must not happen inside the handler.
  void *pFrame;
  backtrace(&pFrame, 1);
  copyText(g_szPath, sizeof(g_szPath), strFilePath);
  copyText(g_szTitle, sizeof(g_szTitle), strTitle);
  for (int nSignal : kFatalSignals) {
    if (!isFree(nSignal))
      continue;
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigaction(nSignal, &action, nullptr);
  }
}

} // namespace zt::platform
