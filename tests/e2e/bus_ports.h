// Waiting for the printers listed on a bus directory, on the directory's
// changes rather than by polling.
#pragma once

#include <chrono>
#include <set>
#include <string>

#include "sim/cable/cable_bus.h"

namespace e2e {

// Waits until exactly `ports` are listed on `bus`, at most `limitMs`; true
// when they are.
inline bool WaitForBusPorts(const std::string& bus, sim::cable::BusWatcher& watcher,
                            const std::set<std::string>& ports, int limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    std::set<std::string> listed;
    for (const auto& p : sim::cable::ListPrinters(bus)) listed.insert(p.port);
    if (listed == ports) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    watcher.Wait(static_cast<int>(left));
  }
}

}  // namespace e2e
