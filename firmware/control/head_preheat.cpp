#include "firmware/control/head_preheat.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/io_port.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/head_drive.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/thv_control.h"

constinit CHeadPreheat g_PreheatL;
constinit CHeadPreheat g_PreheatR;
constinit CHeadPreheatBoth g_PreheatBoth;

namespace {

constexpr uint32_t kHeadOffWaitUs = 5000;
constexpr uint32_t kMaxStrobeCount = 0xFFFFu;
constexpr int32_t kFromTable = -1;

struct PreheatUnit {
  CAnalogSensor* pThermistor;
  COutputPortLong* pPowerOutput;
  CThvCnt* pThv;
};
constexpr PreheatUnit kUnits[2] = {
    {&g_AdHThermL, &g_PortHeadPowerL, &g_ThvPheatL},
    {&g_AdHThermR, &g_PortHeadPowerR, &g_ThvPheatR},
};

bool PreheatEnabled() { return SettingValue(g_ParamPreheatSW) == 1; }

// A thermistor's reading on the 0-255 scale.
int32_t ReadLevel(CAnalogSensor& sensor, uint32_t* pulLevel) {
  uint32_t ulRaw = 0;
  const int32_t lResult = sensor.Read(&ulRaw);
  if (lResult != 0) return lResult;
  const uint32_t ulLevel = ulRaw >> 2;
  *pulLevel = ulLevel < PREHEAT_TABLE_SIZE ? ulLevel : PREHEAT_TABLE_SIZE - 1;
  return 0;
}

// The setting, or the table's entry for the ambient index when it is -1.
uint32_t LevelOrTable(const CParameter& setting, const std::array<uint8_t, PREHEAT_TABLE_SIZE>& table,
                      uint32_t ulAmbient) {
  const int32_t lValue = SettingValue(setting);
  return lValue == kFromTable ? table[ulAmbient] : static_cast<uint32_t>(lValue);
}

// "Counterx100" periods, as many as the 16-bit count holds.
uint16_t StrobeCount(const CParameter& setting) {
  const uint32_t ulCount = static_cast<uint32_t>(SettingValue(setting)) * 100u;
  return static_cast<uint16_t>(ulCount < kMaxStrobeCount ? ulCount : kMaxStrobeCount);
}

// The strobe run is stopped; a run that was still going gets its last
// period's time before the head power is cut. With no run going there is
// nothing to wait for (and an FPGA that never configured has no running
// microsecond counter to wait on).
void StopDriveAndWait() {
  uint32_t ulDone = 1;
  g_HeadDrive.IsDone(&ulDone);
  g_HeadDrive.Stop();
  if (ulDone == 0) g_UsTimer.WaitUs(kHeadOffWaitUs);
}

void RestartFinishedRun() {
  uint32_t ulDone = 0;
  if (g_HeadDrive.IsDone(&ulDone) == 0 && ulDone == 1) g_HeadDrive.Start();
}

}  // namespace

// ---- One unit ----------------------------------------------------------------------------

CHeadPreheat::CHeadPreheat(uint32_t ulUnit) {
  const PreheatUnit& unit = kUnits[ulUnit != 0 ? 1 : 0];
  m_pThermistor = unit.pThermistor;
  m_pPowerOutput = unit.pPowerOutput;
  m_pThv = unit.pThv;
  m_ulUnit = ulUnit != 0 ? 1 : 0;
  m_ulTimeout = g_UsTimer.MsToTicks(PREHEAT_TIMEOUT_MS);
  Stop();
}

int32_t CHeadPreheat::Start() {
  if (!PreheatEnabled()) return 0;
  int32_t lResult = ReadLevel(g_AdEnvTherm, &m_ulAmbient);
  uint32_t ulHead = 0;
  if (lResult == 0) lResult = ReadLevel(*m_pThermistor, &ulHead);
  if (lResult != 0) {
    // Nothing is heated on a reading that failed.
    Stop();
    return lResult;
  }
  const uint32_t ulOn = LevelOrTable(g_ParamPreheatOn, g_aucPreheatLevel, m_ulAmbient);
  const uint32_t ulOff = LevelOrTable(g_ParamPreheatOff, g_aucPreheatLevel, m_ulAmbient);
  if (ulHead < ulOff) {
    Stop();
    return 0;
  }
  WalkThvToTarget(*m_pThv);
  m_ulThreshold = ulOff;
  m_ulStartTime = g_UsTimer.NowUs();
  m_ulState = HEATING;
  const uint32_t ulKeepS = ulHead > ulOn ? LevelOrTable(g_ParamPreheatKeep, g_aucPreheatRunTime, m_ulAmbient) : 0;
  m_ulRunTime = ulKeepS * g_UsTimer.MsToTicks(1000);
  StartStrobe();
  return 0;
}

int32_t CHeadPreheat::Stop() {
  m_ulState = IDLE;
  HeadOff();
  return 0;
}

int32_t CHeadPreheat::Step(uint32_t* pulDone) {
  *pulDone = 0;
  int32_t lResult = 0;
  switch (m_ulState) {
    case IDLE:
      lResult = Start();
      if (m_ulState == IDLE) *pulDone = 1;
      break;
    case HEATING:
      lResult = HeatStep();
      break;
    case HOLDING:
      lResult = HoldStep(pulDone);
      break;
    default:
      lResult = -1;
      break;
  }
  if (lResult == 0 && *pulDone == 0) lResult = CheckTimeout();
  if (lResult != 0) Stop();
  return lResult;
}

int32_t CHeadPreheat::HeatStep() {
  uint32_t ulHead = 0;
  const int32_t lResult = ReadLevel(*m_pThermistor, &ulHead);
  if (lResult != 0) return lResult;
  if (ulHead > m_ulThreshold) {
    RestartFinishedRun();
  } else {
    m_ulState = HOLDING;
    m_ulHoldStart = g_UsTimer.NowUs();
  }
  return 0;
}

int32_t CHeadPreheat::HoldStep(uint32_t* pulDone) {
  uint32_t ulHead = 0;
  const int32_t lResult = ReadLevel(*m_pThermistor, &ulHead);
  if (lResult != 0) return lResult;
  if (ulHead > m_ulThreshold) {
    StartStrobe();
  } else {
    HeadOff();
  }
  if (g_UsTimer.NowUs() - m_ulHoldStart > m_ulRunTime) {
    Stop();
    *pulDone = 1;
  }
  return 0;
}

int32_t CHeadPreheat::CheckTimeout() {
  if (g_UsTimer.NowUs() - m_ulStartTime <= m_ulTimeout) return 0;
  g_ErrorMng.SetError(ERRIDX_PREHEAT_TIMEOUT);
  return -1;
}

void CHeadPreheat::StartStrobe() {
  g_HeadDrive.SetStrobe(PREHEAT_STROBE_PERIOD_US, g_aucPreheatDuty[m_ulAmbient], m_ulUnit == 0 ? 1 : 0,
                        m_ulUnit == 1 ? 1 : 0);
  g_HeadDrive.SetStrobeCount(StrobeCount(g_ParamPreheatCount2));
  m_pPowerOutput->Clear();
  g_HeadDrive.Start();
}

void CHeadPreheat::HeadOff() {
  StopDriveAndWait();
  m_pPowerOutput->Set();
}

// ---- Both heads --------------------------------------------------------------------------

CHeadPreheatBoth::CHeadPreheatBoth(GlobalBuild) {
  m_pThermistorL = kUnits[0].pThermistor;
  m_pThermistorR = kUnits[1].pThermistor;
  m_pPowerOutputL = kUnits[0].pPowerOutput;
  m_pPowerOutputR = kUnits[1].pPowerOutput;
  m_pThvL = kUnits[0].pThv;
  m_pThvR = kUnits[1].pThv;
  Reset();
}

int32_t CHeadPreheatBoth::Reset() {
  m_ulHeatL = 0;
  m_ulHeatR = 0;
  m_ulWantL = 0;
  m_ulWantR = 0;
  m_ulState = 0;
  HeadsOff();
  return 0;
}

int32_t CHeadPreheatBoth::Start() {
  if (!PreheatEnabled()) return 0;
  int32_t lResult = ReadLevel(g_AdEnvTherm, &m_ulAmbient);
  if (lResult == 0) {
    m_ulThreshold = LevelOrTable(g_ParamPreheatOff, g_aucPreheatLevel, m_ulAmbient);
    lResult = Evaluate();
  }
  if (lResult != 0) {
    // Nothing is heated on a reading that failed.
    Reset();
    return lResult;
  }
  SelectHeadVoltage();
  m_ulState = 1;
  if (m_ulWantL == 0 && m_ulWantR == 0) {
    HeadsOff();
  } else {
    StartStrobe();
  }
  m_ulHeatL = m_ulWantL;
  m_ulHeatR = m_ulWantR;
  return 0;
}

int32_t CHeadPreheatBoth::Step() {
  int32_t lResult = 0;
  if (m_ulState == 0) {
    lResult = Start();
  } else if (m_ulState == 1) {
    lResult = Evaluate();
    if (lResult == 0) Update();
  } else {
    lResult = -1;
  }
  if (lResult != 0) Reset();
  return lResult;
}

int32_t CHeadPreheatBoth::GetHeatFlags(uint32_t* pulHeatL, uint32_t* pulHeatR) const {
  *pulHeatL = m_ulHeatL;
  *pulHeatR = m_ulHeatR;
  return 0;
}

uint32_t CHeadPreheatBoth::GetHeatFlagOfUnit(uint32_t* pulHeat) const {
  const uint32_t ulUnit = GetCurrentUnit();
  *pulHeat = ulUnit == 1 ? m_ulHeatR : m_ulHeatL;
  return ulUnit;
}

int32_t CHeadPreheatBoth::Evaluate() {
  uint32_t ulLevel = 0;
  int32_t lResult = ReadLevel(*m_pThermistorL, &ulLevel);
  if (lResult != 0) return lResult;
  m_ulWantL = ulLevel > m_ulThreshold ? 1 : 0;
  lResult = ReadLevel(*m_pThermistorR, &ulLevel);
  if (lResult != 0) return lResult;
  m_ulWantR = ulLevel > m_ulThreshold ? 1 : 0;
  return 0;
}

void CHeadPreheatBoth::Update() {
  if (m_ulWantL == m_ulHeatL && m_ulWantR == m_ulHeatR) {
    if (m_ulHeatL != 0 || m_ulHeatR != 0) RestartFinishedRun();
    return;
  }
  if (m_ulWantL == 0 && m_ulWantR == 0) {
    HeadsOff();
  } else {
    SelectHeadVoltage();
    StartStrobe();
  }
  m_ulHeatL = m_ulWantL;
  m_ulHeatR = m_ulWantR;
}

void CHeadPreheatBoth::SelectHeadVoltage() {
  CThvCnt* pThv = m_pThvR;
  if (m_ulWantL != m_ulWantR) {
    pThv = m_ulWantL != 0 ? m_pThvL : m_pThvR;
  } else if (g_usHeadResistanceL < g_usHeadResistanceR) {
    pThv = m_pThvL;
  }
  WalkThvToTarget(*pThv);
}

void CHeadPreheatBoth::StartStrobe() {
  HeadsOff();
  g_HeadDrive.SetStrobe(PREHEAT_STROBE_PERIOD_US, g_aucPreheatDuty[m_ulAmbient], m_ulWantL, m_ulWantR);
  g_HeadDrive.SetStrobeCount(StrobeCount(g_ParamPreheatCount1));
  if (m_ulWantL != 0) m_pPowerOutputL->Clear();
  if (m_ulWantR != 0) m_pPowerOutputR->Clear();
  g_HeadDrive.Start();
}

void CHeadPreheatBoth::HeadsOff() {
  StopDriveAndWait();
  m_pPowerOutputL->Set();
  m_pPowerOutputR->Set();
}
