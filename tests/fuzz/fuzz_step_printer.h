// A printer board for fuzz targets that run firmware steps: the real
// firmware, its application replaced by a loop that runs the steps the
// target queues (sim::Machine::RunStep). It boots once per process and
// lives as long as the process.
#pragma once

#include "firmware/hal/board.h"
#include "firmware/hal/kernel.h"
#include "sim/machine.h"

namespace fuzz {

inline sim::Machine& StepPrinter() {
  static sim::Machine* s_machine = nullptr;
  if (s_machine == nullptr) {
    sim::MachineOptions options;
    // Always ready: a task that sleeps would leave the kernel none to run.
    options.appEntry = [] {
      for (;;) {
        BoardIdlePass();
        CpuRelax();
      }
    };
    s_machine = new sim::Machine(std::move(options));
  }
  return *s_machine;
}

}  // namespace fuzz
