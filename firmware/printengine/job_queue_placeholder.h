// Until the job queue is built, its placeholder holds only counts of jobs:
// the print sequence's placeholder consumes them, and tests set them as the
// host's print commands would.
#pragma once

#include <cstdint>

struct PlaceholderJobs {
  uint32_t ulReady;
  uint32_t ulActive;
  uint32_t ulFree;
  uint32_t ulMergeSelector;
  uint32_t ulCancelCalls;
};

extern PlaceholderJobs g_PlaceholderJobs;
