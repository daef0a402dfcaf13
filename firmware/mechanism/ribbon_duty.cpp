#include "firmware/mechanism/ribbon_duty.h"

#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/kernel.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/saturate.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/single_pass.h"
#include "firmware/printengine/table_store.h"

constexpr CParameter* const g_RibbonDutyParams[RIBBON_DUTY_PARAMS] = {
    &g_ParamRollUpDs,   &g_ParamRollBackD, &g_ParamRollBackInitD, &g_ParamTensionD, &g_ParamInitialD,
    &g_ParamCalibDs,    &g_ParamRollUpAPD, &g_ParamPrintYD,       &g_ParamPrintMD,  &g_ParamPrintCD,
    &g_ParamPrintLD,    &g_ParamRollUpSr,  &g_ParamRollBackS,     &g_ParamRollBackInitS,
    &g_ParamTensionS,   &g_ParamInitialS,  &g_ParamCalibSr,       &g_ParamRollUpAPS, &g_ParamPrintYS,
    &g_ParamPrintMS,    &g_ParamPrintCS,   &g_ParamPrintLS,       nullptr};

constexpr uint8_t g_aucRibbonDiameterDuty[RIBBON_DIAMETER_DUTY_BYTES] = {
    86, 86, 83, 80, 77, 74, 72, 69, 67, 65, 63, 61, 59, 57, 55, 54,  //
    67, 65, 63, 61, 59, 57, 55, 54, 40, 39, 37, 36, 35, 34, 32, 31,  //
    30, 29, 27, 26, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25,  //
    25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25};

namespace {

// The motor model's constants: the paper's mm per print line, the take-up
// gear (turns per mm of spool circumference), the tension's share per mm of
// diameter and the fitted line of duty against load.
constexpr double kMmPerLine = 0.08466666666666667;
constexpr double kTakeUpGearFactor = 19.09860930293259;
constexpr double kTensionPerMm = 0.05;
constexpr double kLoadSlope = 0.0121;
constexpr double kDutyOffset = 3.6433;
constexpr double kLoadFall = -2e-05;
constexpr double kDutyScale = 1.1388;
constexpr uint32_t kMaxDuty = 100;
// The print speed of a single-pass plane.
constexpr uint32_t kSinglePassSpeed = 5000;
// The overcoat plane's code.
constexpr uint32_t kOvercoatPlane = 3;

// The duty in 0..100: an infinity above gives 100, one below and NaN 0.
uint32_t ClampDuty(double dDuty) {
  if (dDuty > static_cast<double>(kMaxDuty)) return kMaxDuty;
  return SaturateToU32(dDuty);
}

// A TABLE value, or 0 when the TABLE has none.
uint32_t TableValueOrZero(uint32_t ulIndex) {
  uint32_t ulValue = 0;
  return GetTableValue(ulIndex, &ulValue) == 0 ? ulValue : 0;
}

}  // namespace

int32_t CDonorMng::GetDutyIndex(uint32_t ulPhase, uint32_t* pulIndex) {
  if (ulPhase >= RIBPH_COUNT) return -1;
  *pulIndex = g_aRibbonPhases[ulPhase].ucDutyIndex;
  return 0;
}

int32_t CDonorMng::GetPhaseDuty(uint32_t ulSide, uint32_t ulIndex, uint32_t* pulDuty) {
  if (ulSide > RIBBON_SIDE_TAKE_UP || ulIndex >= RIBDUTY_COUNT) return -1;
  const bool bTakeUp = ulSide == RIBBON_SIDE_TAKE_UP;
  uint32_t ulDiameter = 0;
  g_pRibbonRoll->GetDiameter(ulSide, &ulDiameter);
  const int32_t lValue = SettingValue(*g_RibbonDutyParams[(bTakeUp ? 0 : RIBDUTY_COUNT) + ulIndex]);
  uint32_t ulDuty = lValue > 0 ? static_cast<uint32_t>(lValue) : 0;
  if (ulDuty == 0) {
    if (ulIndex == RIBDUTY_ROLLBACK_INIT) {
      uint32_t ulRow = ulDiameter > RIBBON_DIAMETER_DUTY_FIRST_MM ? ulDiameter - RIBBON_DIAMETER_DUTY_FIRST_MM : 0;
      if (ulRow >= RIBBON_DIAMETER_DUTY_BYTES) ulRow = RIBBON_DIAMETER_DUTY_BYTES - 1;
      ulDuty = g_aucRibbonDiameterDuty[ulRow];
    } else if (ulIndex >= RIBDUTY_PRINT_Y) {
      ulDuty = bTakeUp && g_ulSinglePass != 0 ? RIBBON_SINGLE_PASS_DUTY
                                              : GetTableDuty(bTakeUp ? 0 : 1, ulIndex - RIBDUTY_PRINT_Y, ulDiameter);
    }
  }
  *pulDuty = ulDuty;
  return 0;
}

uint32_t CDonorMng::GetTableDuty(uint32_t ulSupply, uint32_t ulPlane, uint32_t ulDiameter) {
  // The supply side has no duty table.
  if (ulSupply != 0) return 0;
  const uint32_t ulTable = RIBBON_TABLE_DUTY_FIRST + g_PrintLine.GetTableIndex(ulPlane);
  const uint32_t ulBase = TableValueOrZero(RIBBON_TABLE_TAKE_UP_BASE);
  if (ulBase == 0) return 0;
  // A TABLE without the table, or with an empty one, gives no duty rather
  // than a byte read through an unset address or before the table.
  PhysAddr ulAddress = 0;
  uint32_t ulLength = 0;
  if (GetTableAddress(ulTable, &ulAddress) != 0 || GetTableLength(ulTable, &ulLength) != 0 || ulLength == 0) {
    return 0;
  }
  uint32_t ulRow = ulDiameter > ulBase ? ulDiameter - ulBase : 0;
  if (ulRow >= ulLength) ulRow = ulLength - 1;
  uint8_t ucDuty = 0;
  if (IoctlRead8(ulAddress + ulRow, &ucDuty) != 0) return 0;
  return ucDuty;
}

int32_t CDonorMng::GetPrintTakeUpDuty(uint32_t ulPhase, uint32_t* pulDuty) {
  const int32_t lPlane = PrintPlaneOfPhase(ulPhase);
  if (lPlane < 0) return -1;
  const auto ulPlane = static_cast<uint32_t>(lPlane);
  uint32_t ulSpeed = 0;
  int32_t lTension = 0;
  // A speed the TABLE lacks is 0, which the model turns into full duty.
  if (ulPlane < kOvercoatPlane) {
    ulSpeed = g_ulSinglePass != 0 ? kSinglePassSpeed : TableValueOrZero(ulPlane);
    lTension = SettingValue(g_ParamTensionYmc);
  } else {
    ulSpeed = TableValueOrZero(g_PrintLine.GetTableIndex(kOvercoatPlane));
    lTension = SettingValue(g_ParamTensionL);
  }
  const uint32_t ulTension = lTension > 0 ? static_cast<uint32_t>(lTension) * 100u : 0;
  return CalcDuty(ulSpeed, ulTension, pulDuty);
}

int32_t CDonorMng::CalcDuty(uint32_t ulPrintSpeed, uint32_t ulTension, uint32_t* pulDuty) {
  uint32_t ulDiameter = 0;
  g_pRibbonRoll->GetDiameter(RIBBON_SIDE_TAKE_UP, &ulDiameter);
  // A speed or a diameter of 0 makes the speed term infinite: full duty.
  const double dSpeedTerm = (1000000.0 / static_cast<double>(ulPrintSpeed)) * kMmPerLine *
                            (1.0 / static_cast<double>(ulDiameter)) * kTakeUpGearFactor;
  const double dLoad = static_cast<double>(ulTension) * static_cast<double>(ulDiameter) * kTensionPerMm;
  const double dDuty = (dSpeedTerm + dLoad * kLoadSlope + kDutyOffset) / (dLoad * kLoadFall + kDutyScale);
  const uint32_t ulDuty = ClampDuty(dDuty);
  syslog(LOG_EMERG, "[CalcDuty] PrintSpeed=%d, Tension=%d, Diameter=%d, Duty=%d", ulPrintSpeed, ulTension, ulDiameter,
         ulDuty);
  *pulDuty = ulDuty;
  return 0;
}

int32_t CDonorMng::ApplyTakeUpDuty() {
  const uint32_t ulDuty = m_ulPrintTakeUpDuty;
  g_pCurChopMotorRibDst->SetDuty(ulDuty);
  m_ulTakeUpDuty = ulDuty;
  return 0;
}
