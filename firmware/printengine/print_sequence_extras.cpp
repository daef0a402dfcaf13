// Support operations that only the service and bench code use.
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/printengine/print_sequence_support.h"
#include "firmware/printengine/print_support.h"

namespace {

constexpr uint32_t kHomePositionMask = 0xC000;
constexpr uint32_t kHomePositionOvercoat = 0x8000;
constexpr uint32_t kStopRibbonEmpty = 1, kStopPaperEnd = 2;

}  // namespace

int32_t GetClutchFeedParams(uint32_t ulPlaneCode, uint32_t* pulDuty, uint32_t* pulLength) {
  const bool bOvercoat = ulPlaneCode == PLANE_L;
  *pulDuty = static_cast<uint32_t>(SettingValue(bOvercoat ? g_ParamPaperDuty2 : g_ParamPaperDuty1));
  *pulLength = static_cast<uint32_t>(SettingValue(bOvercoat ? g_ParamPaperLength2 : g_ParamPaperLength1));
  return 0;
}

int32_t GetSkewCycle(uint32_t* pulCycle) {
  *pulCycle = static_cast<uint32_t>(SettingValue(g_ParamSkewCycle));
  return 0;
}

int32_t GetPrintStopFlags(uint32_t* pulFlags) {
  uint32_t ulEmpty = 0;
  g_ErrorMng.IsErrorSet(g_ulCurErrRibbonEmpty, &ulEmpty);
  const bool bPaperEnd = IsEventPending(EV_PAPER_END);
  *pulFlags = (ulEmpty != 0 ? kStopRibbonEmpty : 0u) | (bPaperEnd ? kStopPaperEnd : 0u);
  return bPaperEnd ? -1 : 0;
}

int32_t GetPassStepMode(uint32_t* pulMode, uint32_t ulFlag, uint32_t ulPlaneCode) {
  if (ulFlag != 0) {
    const uint32_t ulHome = static_cast<uint32_t>(SettingValue(g_ParamDonorHomePosi)) & kHomePositionMask;
    *pulMode = ulPlaneCode == PLANE_L && ulHome != kHomePositionOvercoat ? 2u : 1u;
  } else {
    *pulMode = g_pRibbonRoll->GetCorrectionAllowed() == 1 && ulPlaneCode != PLANE_C ? 2u : 1u;
  }
  return 0;
}

int32_t EstimateSubSteps(uint32_t* pulSteps, uint32_t ulLines) {
  const uint32_t ulMarks = static_cast<uint32_t>(SettingValue(g_ParamPlaneFlagLinesY));
  const uint32_t ulPrinted = g_aulPlaneLines[PLANE_Y];
  // A plane that printed no more than its marks gives no rate.
  if (ulPrinted <= ulMarks) return -1;
  *pulSteps = g_aulPlaneSubSteps[PLANE_Y] * ulLines / (ulPrinted - ulMarks) / 4;
  return 0;
}
