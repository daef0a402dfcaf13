// Head pre-heat: a cold thermal head is heated by strobe bursts without
// image data at a low duty, with its power output on and the supply of its
// pre-heat THV object. A head is heated while its thermistor reading
// (A/D value >> 2; a higher reading is a colder head) is above a level
// taken from a table by the ambient thermistor, unless a setting overrides
// the table.
//
// CHeadPreheat heats one unit's head (the path changes start it, the print
// sequences stop it); CHeadPreheatBoth watches both heads while the printer
// is idle, and the fan control asks it which heads it heats.
#pragma once

#include <array>
#include <cstdint>

#include "firmware/devices/io_port.h"
#include "firmware/platform/global_build.h"

class CAnalogSensor;
class CThvCnt;

constexpr uint32_t PREHEAT_TABLE_SIZE = 256;
// Heating levels, strobe duties (percent) and holding times (seconds), by
// the ambient index.
extern const std::array<uint8_t, PREHEAT_TABLE_SIZE> g_aucPreheatLevel;
extern const std::array<uint8_t, PREHEAT_TABLE_SIZE> g_aucPreheatDuty;
extern const std::array<uint8_t, PREHEAT_TABLE_SIZE> g_aucPreheatRunTime;

constexpr uint32_t PREHEAT_STROBE_PERIOD_US = 500;
constexpr uint32_t PREHEAT_TIMEOUT_MS = 300000;
constexpr uint32_t ERRIDX_PREHEAT_TIMEOUT = 0x0407;

class CHeadPreheat {
 public:
  enum State : uint32_t { IDLE = 0, HEATING = 1, HOLDING = 2 };

  constexpr CHeadPreheat() = default;
  // Unit 0 (L) or 1 (R): its thermistor, power output and THV object; the
  // head is left off.
  explicit CHeadPreheat(uint32_t ulUnit);
  CHeadPreheat(const CHeadPreheat&) = delete;
  CHeadPreheat& operator=(const CHeadPreheat&) = delete;

  // Begins heating when the head reads at or above the heating level.
  int32_t Start();
  int32_t Stop();
  // One step; *pulDone = 1 when the pre-heat has ended. -1 on a time-out
  // (error 0x407) or a bad state; a failed read is returned. Any failure
  // switches the head off.
  int32_t Step(uint32_t* pulDone);
  uint32_t GetState() const { return m_ulState; }

 private:
  int32_t HeatStep();
  int32_t HoldStep(uint32_t* pulDone);
  int32_t CheckTimeout();
  void StartStrobe();
  void HeadOff();

  CAnalogSensor* m_pThermistor = nullptr;
  COutputPortLong* m_pPowerOutput = nullptr;
  CThvCnt* m_pThv = nullptr;
  uint32_t m_ulUnit = 0;
  uint32_t m_ulStartTime = 0;
  uint32_t m_ulHoldStart = 0;
  uint32_t m_ulRunTime = 0;
  uint32_t m_ulTimeout = 0;
  uint32_t m_ulThreshold = 0;
  uint32_t m_ulAmbient = 0;
  uint32_t m_ulState = IDLE;
};

class CHeadPreheatBoth {
 public:
  constexpr CHeadPreheatBoth() = default;
  // Both units' objects; stopped, both heads off.
  explicit CHeadPreheatBoth(GlobalBuild);
  CHeadPreheatBoth(const CHeadPreheatBoth&) = delete;
  CHeadPreheatBoth& operator=(const CHeadPreheatBoth&) = delete;

  // Pre-heat stopped, both heads off.
  int32_t Reset();
  // A new pre-heat run starts (also when no head needs heat).
  int32_t Start();
  // One pre-heat step of an idle pass: -1 in a bad state, or a failed read;
  // any failure resets the pre-heat.
  int32_t Step();
  // Whether the pre-heat heats unit L and unit R (1) or not (0).
  int32_t GetHeatFlags(uint32_t* pulHeatL, uint32_t* pulHeatR) const;
  // The flag of the current unit; returns that unit.
  uint32_t GetHeatFlagOfUnit(uint32_t* pulHeat) const;
  uint32_t GetState() const { return m_ulState; }

 private:
  int32_t Evaluate();
  void Update();
  void SelectHeadVoltage();
  void StartStrobe();
  void HeadsOff();

  CAnalogSensor* m_pThermistorL = nullptr;
  CAnalogSensor* m_pThermistorR = nullptr;
  COutputPortLong* m_pPowerOutputL = nullptr;
  COutputPortLong* m_pPowerOutputR = nullptr;
  CThvCnt* m_pThvL = nullptr;
  CThvCnt* m_pThvR = nullptr;
  uint32_t m_ulThreshold = 0;
  uint32_t m_ulAmbient = 0;
  uint32_t m_ulHeatL = 0;
  uint32_t m_ulHeatR = 0;
  uint32_t m_ulWantL = 0;
  uint32_t m_ulWantR = 0;
  uint32_t m_ulState = 0;
};

extern CHeadPreheat g_PreheatL;
extern CHeadPreheat g_PreheatR;
extern CHeadPreheatBoth g_PreheatBoth;
