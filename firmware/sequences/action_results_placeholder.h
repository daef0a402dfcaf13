// Until the sequences are built, their placeholders succeed; a test may
// make the actions whose results the states read fail instead.
#pragma once

#include <cstdint>
#include <initializer_list>

struct PlaceholderActionResults {
  int32_t lInitRibbon;
};

extern PlaceholderActionResults g_PlaceholderActionResults;

// Clears the events of an action that succeeded.
void ClearActionEvents(std::initializer_list<uint32_t> events);
