#include "stop_signal.h"

#include <csignal>
#include <pthread.h>

namespace zt::platform {
namespace {

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

} // namespace

void blockStopSignals() {
  sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int waitForStopSignal() {
  sigset_t set = stopSignals();
  int nSignal = 0;
  while (sigwait(&set, &nSignal) != 0) {
  }
  return nSignal;
}

} // namespace zt::platform
