// Exit codes of printer-sim and of a boot run in its own process.
#pragma once

namespace sim {

constexpr int kExitEnded = 0;            // the kernel shut down, or a requested stop
constexpr int kExitUsage = 2;            // bad command line or state directory
constexpr int kExitWatchdogRestart = 3;  // the watchdog restarted the board (--on-reset=exit)
constexpr int kExitFault = 4;            // the board found a fault, or stalled
constexpr int kExitPanelScript = 5;      // a panel line's wait-lcd did not see its text in time

}  // namespace sim
