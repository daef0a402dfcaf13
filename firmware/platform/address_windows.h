// The physical-address windows of the system-device call.
#pragma once

#include <cstdint>

// Sets every window base and opens the USB device driver; called once by
// MainTask before any other system-device call.
int32_t InitDeviceWindows();
