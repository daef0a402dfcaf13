// The idle fan control of each unit: the head and side fans go on below the
// on level and off above the off level of the head thermistor, both levels
// following the ambient temperature unless a setting fixes them.
#include "firmware/control/fan_levels.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"

namespace {

struct FanUnit {
  CFanCnt* pHeadFan;
  CFanCnt* pSideFan;
  CDigitalSensor* pUpperCover;
  CDigitalSensor* pSideCover;
  CAnalogSensor* pHeadTherm;
};

constexpr FanUnit kFanUnits[2] = {
    {&g_FanHeadL, &g_FanSideL, &g_SensorUpperCoverL, &g_SensorSideCoverL, &g_AdHThermL},
    {&g_FanHeadR, &g_FanSideR, &g_SensorUpperCoverR, &g_SensorSideCoverR, &g_AdHThermR},
};

// A cover reads open only on a fresh reading.
bool ReadsLevel(CDigitalSensor& sensor, uint32_t ulOpen) {
  uint32_t ulLevel = 0;
  return sensor.ReadStable(&ulLevel) == 0 && ulLevel == ulOpen;
}

uint32_t Reading8(CAnalogSensor& sensor) {
  uint32_t ulRaw = 0;
  sensor.Read(&ulRaw);
  return ulRaw >> 2;
}

void BothOff(const FanUnit& unit) {
  unit.pHeadFan->Off();
  unit.pSideFan->Off();
}

}  // namespace

int32_t CIdleSupervisor::ControlFans(uint32_t ulUnit) {
  if ((ulUnit == 0 ? m_ulFanSuspendL : m_ulFanSuspendR) != 0) return 0;
  const FanUnit& unit = kFanUnits[ulUnit];
  unit.pHeadFan->Check();
  unit.pSideFan->Check();
  uint32_t aulHeat[2] = {};
  g_PreheatBoth.GetHeatFlags(&aulHeat[0], &aulHeat[1]);
  if (aulHeat[ulUnit] != 0 || ReadsLevel(g_SensorFrontCover, 0) || ReadsLevel(*unit.pUpperCover, 1) ||
      ReadsLevel(*unit.pSideCover, 1)) {
    BothOff(unit);
    return 0;
  }
  uint32_t ulState = FAN_OFF;
  unit.pHeadFan->GetState(&ulState);
  const int32_t lHead = static_cast<int32_t>(Reading8(*unit.pHeadTherm));
  if (ulState == FAN_RESTING) return 0;
  const uint32_t ulAmbient = Reading8(g_AdEnvTherm);
  const int32_t lOn = FanSwitchLevel(g_ParamFanOn, g_aucFanOnLevel, ulAmbient);
  const int32_t lOff = FanSwitchLevel(g_ParamFanOff, g_aucFanOffLevel, ulAmbient);
  if (lOn > lHead) {
    unit.pHeadFan->On();
    unit.pSideFan->On();
  }
  if (lOff < lHead) BothOff(unit);
  return 0;
}

int32_t CIdleSupervisor::ControlFansL() { return ControlFans(0); }
int32_t CIdleSupervisor::ControlFansR() { return ControlFans(1); }
