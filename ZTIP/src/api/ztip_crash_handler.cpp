#include "api/ztip_crash_handler.h"

#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace zt::ip {
namespace {

constexpr int kMaxFrames = 64;
const int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

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
  int nFd = open("ztipdump.dmp", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (nFd >= 0) {
    writeText(nFd, "ZTIP crash report\nsignal: ");
    writeNumber(nFd, nSignal);
    writeText(nFd, "\nbacktrace:\n");
    void *arrFrames[kMaxFrames];
    backtrace_symbols_fd(arrFrames, backtrace(arrFrames, kMaxFrames), nFd);
    close(nFd);
  }
  // SA_RESETHAND restored the default action: raising again ends the process as usual.
  raise(nSignal);
}

} // namespace

void installCrashHandler() {
  // backtrace() loads its unwinder on first use, which must not happen inside the handler.
  void *pFrame;
  backtrace(&pFrame, 1);
  for (int nSignal : kFatalSignals) {
    struct sigaction current {};
    if (sigaction(nSignal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
        (current.sa_flags & SA_SIGINFO) != 0)
      continue;
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigaction(nSignal, &action, nullptr);
  }
}

} // namespace zt::ip
