// Jobs printed without the path preparation: the paper of the virtual board
// is threaded on unit L's path with the carousel at neutral, where no
// print-order row can be resolved, and it cannot change to unit R's path
// yet. Tests of the job queue, the printer states and the test prints, which
// look past the preparation, let it succeed at once.
#pragma once

#include <cstdint>

#include "firmware/control/engine_variant.h"

namespace testsupport {

// Call after the start-up, which installs the engine variant's hook.
inline void PrepareJobsAtOnce() {
  g_pfnPreparePath = [](uint32_t) { return int32_t{0}; };
}

}  // namespace testsupport
