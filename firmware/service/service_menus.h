// The service menus as the printer states use them.
#pragma once

#include <cstdint>

// The Menu key's action: runs the top menu of the current service mode.
int32_t RunModeMenu();
