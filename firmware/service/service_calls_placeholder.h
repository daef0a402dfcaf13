// Until the service menus and the test prints are built, their placeholders
// count their calls here; a test may make the tuning fail.
#pragma once

#include <cstdint>

struct PlaceholderServiceCalls {
  uint32_t ulKeyTests;
  // Tunings of the unit L and unit R lists.
  uint32_t ulTuningsL;
  uint32_t ulTuningsR;
  // What each tuning answers.
  int32_t lTuneResult;
};

extern PlaceholderServiceCalls g_PlaceholderServiceCalls;
