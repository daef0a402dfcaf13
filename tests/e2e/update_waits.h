// The updater's waits after each file in the end-to-end updates, short
// enough to keep those tests brief and long enough for a paced printer
// (factor 1) to rewrite its flash and be ready again after its restart.
// The system test update_restart_times_test measures the model's times in
// virtual time and checks each wait covers them with the margin below
// (each restart includes the start-up's one-second service-mode window).
#pragma once

#include <cstdint>

namespace e2e {

inline constexpr uint32_t kMainWaitMs = 41000;
inline constexpr uint32_t kDspWaitMs = 19500;
inline constexpr uint32_t kTableWaitMs = 29500;

// What a wait allows beyond the measured time: a paced printer falls
// behind the wall clock while the machine is busy, and its restart (a new
// process that reads its state files) takes wall time the virtual clock
// does not count.
constexpr int64_t WaitMarginMs(int64_t measuredMs) { return measuredMs / 4 + 2000; }

}  // namespace e2e
