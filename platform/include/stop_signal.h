// Waiting for the stop request of a foreground program: SIGTERM (what systemd sends) or SIGINT.
#pragma once

namespace zt::platform {

// Blocks SIGTERM and SIGINT in the calling thread. Call it in main before any thread starts,
// so every thread inherits the mask and the signal stays pending for waitForStopSignal.
void blockStopSignals();

// Waits until SIGTERM or SIGINT is pending and returns its number.
int waitForStopSignal();

} // namespace zt::platform
