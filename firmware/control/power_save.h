// Power save: three requests (front cover, idle countdown, display off)
// combined into one state. Power save switches the photo-sensor LED supplies
// and the LCD off and raises the power-save line; display-off keeps the
// sensor LEDs on and switches only the LCD off.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"

enum PowerSaveState : uint32_t {
  POWER_SAVE_NORMAL = 0,
  POWER_SAVE_ON = 1,
  POWER_SAVE_DISPLAY_OFF = 2,
};

// 1 while state 1 is applied: the supervisor's cover, paper and sensor
// stages skip their checks then.
extern uint32_t g_ulPowerSaveActive;

class CPowerSave {
 public:
  constexpr CPowerSave() = default;
  // Reads the "Time[Min]" setting once; that setting must be built first.
  explicit CPowerSave(GlobalBuild);

  int32_t SetCoverRequest(uint32_t ulOn);
  int32_t SetIdleRequest(uint32_t ulOn);
  int32_t SetDisplayOffRequest(uint32_t ulOn);
  int32_t Update();
  // 0, or -1 for a state other than 0, 1, 2.
  int32_t Apply(uint32_t ulState);

  int32_t GetState(uint32_t* pulState) const;
  int32_t IsTimerArmed(uint32_t* pulArmed) const;
  int32_t GetMinutes(uint32_t* pulMinutes) const;
  // Takes effect at the next ArmTimer.
  int32_t SetMinutes(uint32_t ulMinutes);

  void ArmTimer();
  // Called on every pass of the idle ready states.
  void TickTimer();
  void CancelTimer();
  void ShowText();

 private:
  static uint32_t NowNonZero();

  uint32_t m_ulState = 0;
  uint32_t m_ulCoverRequest = 0;
  uint32_t m_ulIdleRequest = 0;
  uint32_t m_ulDisplayOffRequest = 0;
  uint32_t m_ulArmed = 0;
  uint32_t m_ulMinuteStart = 0;
  uint32_t m_ulMinutesLeft = 0;
  uint32_t m_ulMinutes = 0;
  uint32_t m_ulMinuteTicks = 0;
};

extern CPowerSave g_PowerSave;
