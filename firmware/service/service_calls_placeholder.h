// Until the service menus and the test prints are built, their placeholders
// count their calls here; a test may make the tuning fail, or have the
// start-up select a service mode.
#pragma once

#include <cstdint>

struct PlaceholderServiceCalls {
  uint32_t ulKeyTests;
  // Tunings of the unit L and unit R lists.
  uint32_t ulTuningsL;
  uint32_t ulTuningsR;
  // What each tuning answers.
  int32_t lTuneResult;
  // The service mode the start-up window selects (0: User Mode).
  uint16_t usStartupMode;
};

extern PlaceholderServiceCalls g_PlaceholderServiceCalls;
