// The settings of the machine, built by the machine definition in its
// order.
#pragma once

#include "firmware/devices/parameter.h"

// "Time[Min]" 0..240, default 5, RAM only: the idle time in minutes before
// power save, read by the power-save object when it is built.
extern CParameter g_ParamPowerSaveTime;

namespace settings {
constexpr const char* kPowerSaveTimeLabel = "Time[Min]       ";
}  // namespace settings
