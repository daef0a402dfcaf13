// The settings of the machine, built by the machine definition in its
// order.
#pragma once

#include "firmware/devices/parameter.h"

// "Time[Min]" 0..240, default 5, RAM only: the idle time in minutes before
// power save, read by the power-save object when it is built.
extern CParameter g_ParamPowerSaveTime;

// The settings the control core reads, on their main EEPROM cells:
// "RollBack Flag" 0..5 (paper state that survives a power cycle),
// "DonorKeepA"/"DonorKeepB" 0..500 (ribbon kept per unit), the energy-save
// switch 0..1, "Key Enable" 0..1 (default 1: the panel keys work at idle)
// and "Ribbon Status" 0..3 (ribbon combination of the two units).
extern CParameter g_ParamRollBackFlag;
extern CParameter g_ParamDonorKeepA;
extern CParameter g_ParamDonorKeepB;
extern CParameter g_ParamEnergySave;
extern CParameter g_ParamKeyEnable;
extern CParameter g_ParamRibbonStatus;

// The setting's value, for readers that need no result code.
inline int32_t SettingValue(const CParameter& param) {
  int32_t lValue = 0;
  param.GetValue(&lValue);
  return lValue;
}

// Builds them in the machine's order; their cells must be built.
void ConstructControlSettings();

namespace settings {
constexpr const char* kPowerSaveTimeLabel = "Time[Min]       ";
constexpr const char* kRollBackFlagLabel = "RollBack Flag   ";
constexpr const char* kDonorKeepALabel = "DonorKeepA      ";
constexpr const char* kDonorKeepBLabel = "DonorKeepB      ";
constexpr const char* kBlankLabel = "                                ";
constexpr const char* kKeyEnableLabel = "Key Enable       ";
constexpr const char* kRibbonStatusLabel = "Ribbon Status   ";
}  // namespace settings
