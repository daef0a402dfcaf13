// The fan switching levels by ambient temperature (the "EnvTherm" reading
// shifted right by 2): the head reading below which the fans go on, and
// above which they go off. The idle fan control and the cooling share them.
#pragma once

#include <cstdint>

constexpr uint32_t FAN_LEVEL_ENTRIES = 256;
extern const uint8_t g_aucFanOnLevel[FAN_LEVEL_ENTRIES];
extern const uint8_t g_aucFanOffLevel[FAN_LEVEL_ENTRIES];

class CParameter;
// A switching level: the setting ("Fan On" or "Fan Off") unless it is -1,
// then the table's entry for the ambient reading.
int32_t FanSwitchLevel(const CParameter& setting, const uint8_t* pucTable, uint32_t ulAmbient);
