#include "firmware/printengine/thv_control.h"

#include <cmath>

#include "firmware/control/error_manager.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/global.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/table_store.h"

CThvCnt g_ThvYL;
CThvCnt g_ThvML;
CThvCnt g_ThvCL;
CThvCnt g_ThvYR;
CThvCnt g_ThvMR;
CThvCnt g_ThvCR;
CThvCnt g_ThvOPL;
CThvCnt g_ThvOPR;
CThvCnt g_ThvMatteL;
CThvCnt g_ThvMatteR;
CThvCnt g_ThvSPL;
CThvCnt g_ThvSPR;
CThvCnt g_ThvPheatL;
CThvCnt g_ThvPheatR;

CThvCnt* const g_ThvTableL[THV_TABLE_ENTRIES] = {&g_ThvYL,  &g_ThvML,     &g_ThvCL,     &g_ThvOPL,
                                                 &g_ThvMatteL, &g_ThvSPL, &g_ThvPheatL, nullptr};
CThvCnt* const g_ThvTableR[THV_TABLE_ENTRIES] = {&g_ThvYR,  &g_ThvMR,     &g_ThvCR,     &g_ThvOPR,
                                                 &g_ThvMatteR, &g_ThvSPR, &g_ThvPheatR, nullptr};

namespace {

constexpr uint32_t kMaxStep = 1023;
constexpr uint32_t kSamples = 100;
constexpr uint32_t kFullScaleMilliVolt = 49500;
constexpr uint32_t kBlockingStepMs = 2;
constexpr uint32_t kWalkStepMs = 4;
constexpr uint32_t kTuneIntervalMs = 2;
// Manual tuning: + stops below the upper limit, - at the lower one.
constexpr uint32_t kUpperMilliVolt = 34601;
constexpr uint32_t kLowerMilliVolt = 20250;
constexpr uint32_t kPowerMin = 500;
constexpr uint32_t kPowerMax = 2500;
constexpr uint32_t kErrThvPower = 0x0122;  // "Control Error" 34
constexpr uint32_t kErrFrontCover = 0x0607;

constexpr char kTuningText[] = "Tuning...       ";
constexpr char kBlankLine[] = "                ";

// The construction order of the objects.
struct ThvWiring {
  CThvCnt* pThv;
  CParameter* pSetting;
  const CParameter* pDensity;
};
constexpr ThvWiring kThvWiring[] = {
    {&g_ThvYL, &g_ParamThvYL, &g_ParamDensityYmcL},         {&g_ThvML, &g_ParamThvML, &g_ParamDensityYmcL},
    {&g_ThvCL, &g_ParamThvCL, &g_ParamDensityYmcL},         {&g_ThvYR, &g_ParamThvYR, &g_ParamDensityYmcR},
    {&g_ThvMR, &g_ParamThvMR, &g_ParamDensityYmcR},         {&g_ThvCR, &g_ParamThvCR, &g_ParamDensityYmcR},
    {&g_ThvOPL, &g_ParamThvOPL, &g_ParamDensityLmL},        {&g_ThvOPR, &g_ParamThvOPR, &g_ParamDensityLmR},
    {&g_ThvMatteL, &g_ParamThvMatteL, &g_ParamDensityMtL},  {&g_ThvMatteR, &g_ParamThvMatteR, &g_ParamDensityMtR},
    {&g_ThvSPL, &g_ParamThvSPL, &g_ParamDensitySpL},        {&g_ThvSPR, &g_ParamThvSPR, &g_ParamDensitySpR},
    {&g_ThvPheatL, &g_ParamThvPheatL, nullptr},             {&g_ThvPheatR, &g_ParamThvPheatR, nullptr},
};

// The TABLE value of each plane's power, in loading order.
struct ThvPowerRow {
  uint32_t ulIndex;
  const char* pszLog;
  CThvCnt* pLeft;
  CThvCnt* pRight;
};
constexpr ThvPowerRow kThvPowerRows[] = {
    {40, "[THV_Power(Yellow)] = %d", &g_ThvYL, &g_ThvYR},
    {41, "[THV_Power(Magenta)] = %d", &g_ThvML, &g_ThvMR},
    {42, "[THV_Power(Cyan)] = %d", &g_ThvCL, &g_ThvCR},
    {43, "[THV_Power(OP(Glossy))] = %d", &g_ThvOPL, &g_ThvOPR},
    {44, "[THV_Power(OP(Matte))] = %d", &g_ThvMatteL, &g_ThvMatteR},
    {45, "[THV_Power(SP)] = %d", &g_ThvSPL, &g_ThvSPR},
    {176, "[THV_Power(Preheat)] = %d", &g_ThvPheatL, &g_ThvPheatR},
};

uint32_t FpgaStep() { return static_cast<uint32_t>(g_FpgaMain.GetThvValue()); }

uint32_t StepToward(uint32_t ulFrom, uint32_t ulTo) { return ulFrom < ulTo ? ulFrom + 1 : ulFrom - 1; }

// The number right-aligned in columns [14 - width, 14) (before "mV") or at
// the line's end.
void ShowNumber(uint32_t ulValue, uint32_t ulEndColumn) {
  FormatUnsigned(ulValue, 0);
  g_Lcd.WriteText(g_pcNumberText, ulEndColumn - 10, 10);
}

uint32_t WaitKeyPolled(uint32_t ulIntervalMs) {
  uint32_t ulKey = KEY_NONE;
  while (g_KeyMng.Poll(&ulKey) != 1 || ulKey == KEY_NONE) g_MsTimer.WaitMs(ulIntervalMs);
  return ulKey;
}

bool FrontCoverClosed() {
  uint32_t ulLevel = 0;
  g_SensorFrontCover.Read(&ulLevel);
  return ulLevel == 1;
}

}  // namespace

CThvCnt::CThvCnt(CParameter* pThv, const CParameter* pDensity, uint16_t usPower)
    : m_pThv(pThv), m_pDensity(pDensity), m_usPower(usPower) {}

void ConstructThvObjects() {
  for (const ThvWiring& w : kThvWiring) {
    hal::ConstructGlobal(*w.pThv, w.pSetting, w.pDensity, CThvCnt::kDefaultPower);
  }
}

int32_t SetThvStep(uint16_t usStep) { return g_FpgaMain.SetThvValue(usStep); }

int32_t MoveThvTo(uint16_t usStep) {
  const uint32_t ulTarget = usStep & kMaxStep;
  uint32_t ulStep = FpgaStep();
  while (ulStep != ulTarget) {
    ulStep = StepToward(ulStep, ulTarget);
    SetThvStep(static_cast<uint16_t>(ulStep));
    g_MsTimer.WaitMs(kBlockingStepMs);
  }
  return 0;
}

uint32_t MeasureThvAverage() {
  g_FpgaMain.ThvMeasureOn();
  uint32_t ulSum = 0;
  for (uint32_t i = 0; i < kSamples; ++i) {
    uint32_t ulRaw = 0;
    g_AdTHV.Read(&ulRaw);
    ulSum += ulRaw;
  }
  g_FpgaMain.ThvMeasureOff();
  return ulSum / kSamples;
}

int32_t LoadThvPowerFromTable() {
  for (const ThvPowerRow& row : kThvPowerRows) {
    uint32_t ulPower = 0;
    const int32_t lResult = GetTableValue(row.ulIndex, &ulPower);
    if (lResult != 0 || ulPower < kPowerMin || ulPower > kPowerMax) {
      g_ErrorMng.SetError(kErrThvPower);
      return lResult != 0 ? lResult : -2;
    }
    syslog(LOG_EMERG, row.pszLog, ulPower);
    row.pLeft->SetPower(static_cast<uint16_t>(ulPower));
    row.pRight->SetPower(static_cast<uint16_t>(ulPower));
  }
  return 0;
}

int32_t WalkThvToTarget(CThvCnt& thv) {
  const int32_t lResult = thv.StartStepToTarget();
  while (lResult == 0 && thv.StepToTarget() == 1) {
  }
  return lResult;
}

int32_t CThvCnt::SettingValue() const {
  int32_t lValue = 0;
  if (m_pThv != nullptr) m_pThv->GetValue(&lValue);
  return lValue;
}

uint16_t CThvCnt::RestStep() const {
  int32_t lDefault = kRestStep;
  if (m_pThv != nullptr) m_pThv->GetDefault(&lDefault);
  return static_cast<uint16_t>(lDefault);
}

int32_t CThvCnt::Init() {
  const uint16_t usRest = RestStep();
  SetThvStep(usRest);
  FpgaStep();
  g_FpgaMain.ThvOn();
  return MoveThvTo(usRest);
}

int32_t CThvCnt::RestoreAndPowerOff() {
  MoveThvTo(RestStep());
  return g_FpgaMain.ThvOff();
}

uint32_t CThvCnt::MeasureThvMilliVolt() { return (MeasureThvAverage() * kFullScaleMilliVolt) >> 10; }

uint32_t CThvCnt::ShowThvMilliVolt() {
  const uint32_t ulMilliVolt = MeasureThvMilliVolt();
  g_Lcd.WriteLine("THV           mV");
  ShowNumber(ulMilliVolt, 14);
  return ulMilliVolt;
}

uint16_t CThvCnt::ComputeTargetStep() {
  int32_t lValue = SettingValue();
  int32_t lMin = 0;
  int32_t lMax = static_cast<int32_t>(kMaxStep);
  if (m_pThv != nullptr) {
    m_pThv->GetMin(&lMin);
    m_pThv->GetMax(&lMax);
  }
  int32_t lDensity = 0;
  int32_t lDensityDefault = 0;
  if (m_pDensity != nullptr) {
    m_pDensity->GetValue(&lDensity);
    m_pDensity->GetDefault(&lDensityDefault);
  }
  syslog(LOG_EMERG, "[ThvCnt] thv_value = %4d, density_value = %4d(%d) ", lValue, lDensity,
         lDensity - lDensityDefault);
  lValue -= lDensity - lDensityDefault;
  syslog(LOG_EMERG, "[ThvCnt] CorrectValueHumid = %4d ", m_lHumidCorrection);
  lValue += m_lHumidCorrection;
  if (lValue < lMin) lValue = lMin;
  if (lValue > lMax) lValue = lMax;
  syslog(LOG_EMERG, "[ThvCnt] target_value = %4d", lValue);
  return static_cast<uint16_t>(lValue);
}

int32_t CThvCnt::StartStepToTarget() {
  m_ulTarget = ComputeTargetStep();
  m_ulCurrent = FpgaStep();
  if (m_ulCurrent != m_ulTarget) {
    m_ulCurrent = StepToward(m_ulCurrent, m_ulTarget);
    SetThvStep(static_cast<uint16_t>(m_ulCurrent));
  }
  m_ulStepState = kStateWalking;
  m_ulStartTick = g_MsTimer.NowMs();
  return 0;
}

int32_t CThvCnt::StepToTarget() {
  if (m_ulStepState == kStateIdle) return 0;
  if (m_ulStepState != kStateWalking) return -1;
  if (m_ulCurrent == m_ulTarget) {
    m_ulStepState = kStateIdle;
    return 1;
  }
  const uint32_t ulNow = g_MsTimer.NowMs();
  if (ulNow - m_ulStartTick < kWalkStepMs) return 1;
  m_ulCurrent = StepToward(m_ulCurrent, m_ulTarget);
  SetThvStep(static_cast<uint16_t>(m_ulCurrent));
  m_ulStartTick = ulNow;
  return 1;
}

uint32_t CThvCnt::ReadThvMilliVolt() {
  WalkThvToTarget(*this);
  return MeasureThvMilliVolt();
}

int32_t CThvCnt::ManualTune() {
  if (m_pThv == nullptr) return -1;
  int32_t lMin = 0;
  int32_t lMax = 0;
  m_pThv->GetMin(&lMin);
  m_pThv->GetMax(&lMax);
  int32_t lValue = SettingValue();
  if (lValue < lMin || lValue > lMax) {
    m_pThv->ResetToDefault();
    lValue = SettingValue();
  }
  MoveThvTo(static_cast<uint16_t>(lValue));
  for (;;) {
    const uint32_t ulMilliVolt = ShowThvMilliVolt();
    const uint32_t ulKey = WaitKeyPolled(10);
    if (ulKey == KEY_CLEAR) break;
    switch (ulKey) {
      case KEY_INC:
        if (ulMilliVolt < kUpperMilliVolt && lValue != lMin) --lValue;
        break;
      case KEY_DEC:
        if (ulMilliVolt >= kLowerMilliVolt && lValue != lMax) ++lValue;
        break;
      case KEY_ENTER:
        m_pThv->SetValue(lValue);
        g_Lcd.WriteLine(kBlankLine);
        g_MsTimer.WaitMs(200);
        break;
      default: break;
    }
    SetThvStep(static_cast<uint16_t>(lValue));
  }
  // Back from the step shown to the stored one: an unconfirmed step is
  // discarded.
  const int32_t lStored = SettingValue();
  MoveThvTo(static_cast<uint16_t>(lStored));
  g_Lcd.WriteLine("Thv             ");
  ShowNumber(static_cast<uint32_t>(lStored), 16);
  g_MsTimer.WaitMs(2000);
  return 0;
}

int32_t CThvCnt::WaitFrontCoverClosed() {
  if (FrontCoverClosed()) return 0;
  g_MsTimer.WaitMs(2);
  if (FrontCoverClosed()) return 0;
  g_Lcd.WriteLine("Front Cover Open");
  for (;;) {
    uint32_t ulKey = KEY_NONE;
    if (g_KeyMng.Poll(&ulKey) == 1 && ulKey == KEY_CLEAR) return -1;
    if (FrontCoverClosed()) break;
    g_MsTimer.WaitMs(1);
  }
  g_ErrorMng.ClearError(kErrFrontCover);
  g_PowerSave.SetCoverRequest(0);
  g_Lcd.WriteLine(kTuningText);
  return 0;
}

int32_t CThvCnt::AutoTuneThv(uint16_t usHeadResistance) {
  g_Lcd.WriteLine(kTuningText);
  RestoreAndPowerOff();
  g_FpgaMain.ThvOn();
  const uint32_t ulProduct = static_cast<uint32_t>(usHeadResistance) * m_usPower;
  const auto ulWanted = static_cast<uint32_t>(std::sqrt(ulProduct / 10000.0) * 1000.0);
  uint32_t ulMeasured = MeasureThvMilliVolt();
  uint32_t ulResult = 0;
  uint32_t ulStart = g_MsTimer.NowMs();
  for (;;) {
    const uint32_t ulNow = g_MsTimer.NowMs();
    if (g_MsTimer.ElapsedMs16(ulStart, ulNow) <= kTuneIntervalMs) continue;
    ulStart = ulNow;
    if (WaitFrontCoverClosed() == -1) return -1;
    const uint32_t ulStep = FpgaStep();
    if (ulMeasured == ulWanted) {
      ulResult = ulStep;
      break;
    }
    const bool bLower = ulMeasured < ulWanted;  // the voltage must rise: a lower step
    // The bound: the step range is exhausted without crossing the wanted
    // voltage (a supply that does not follow its step).
    if (bLower ? ulStep == 0 : ulStep >= kMaxStep) return -1;
    const uint32_t ulNext = bLower ? ulStep - 1 : ulStep + 1;
    SetThvStep(static_cast<uint16_t>(ulNext));
    ulMeasured = MeasureThvMilliVolt();
    FormatUnsigned(ulNext, 1);
    g_Lcd.WriteText(g_pcNumberText + 7, 13, 3);
    if (bLower ? ulMeasured > ulWanted : ulMeasured < ulWanted) {
      ulResult = ulNext;
      break;
    }
  }
  if (static_cast<int32_t>(ulResult) != SettingValue()) m_pThv->SetValue(static_cast<int32_t>(ulResult));
  g_MsTimer.WaitMs(1000);
  return 0;
}

int32_t CThvCnt::SetPower(uint16_t usPower) {
  m_usPower = usPower;
  return 0;
}

int32_t CThvCnt::GetThvSetting(CParameter** ppSetting) const {
  *ppSetting = m_pThv;
  return 0;
}

int32_t CThvCnt::SetHumidCorrection(int32_t lSteps) {
  m_lHumidCorrection = lSteps;
  return 0;
}
