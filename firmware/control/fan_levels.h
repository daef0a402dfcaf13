// The fan switching levels by ambient temperature (the "EnvTherm" reading
// shifted right by 2): the head reading below which the fans go on, and
// above which they go off. The idle fan control and the cooling share them.
#pragma once

#include <cstdint>

constexpr uint32_t FAN_LEVEL_ENTRIES = 256;
extern const uint8_t g_aucFanOnLevel[FAN_LEVEL_ENTRIES];
extern const uint8_t g_aucFanOffLevel[FAN_LEVEL_ENTRIES];
