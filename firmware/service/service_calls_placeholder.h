// Until the service menus and the test prints are built, their placeholders
// take their settings here: a test may have the start-up select a service
// mode.
#pragma once

#include <cstdint>

struct PlaceholderServiceCalls {
  // The service mode the start-up window selects (0: User Mode).
  uint16_t usStartupMode;
};

extern PlaceholderServiceCalls g_PlaceholderServiceCalls;
