// Print support: fans, the sub stepper's ramps, per-plane codes, back-feeds
// and the repeat handling.
#include "firmware/printengine/print_support.h"

#include "firmware/control/fan_levels.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/eject_motor.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_sequence_words.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/printengine/table_store.h"
#include "firmware/sequences/ribbon_winding.h"
#include "firmware/sequences/sequence_words.h"
#include "firmware/service/log_data.h"
#include "protocol/codes.h"

constinit uint32_t g_ulUnitRepeatCount;
constinit uint32_t g_ulPrevOrderCode;
constinit uint32_t g_ulCurOrderCode;
constinit uint32_t g_ulRepeatState;
constinit uint32_t g_ulPrintLogColor;
constinit uint32_t g_aulPlaneSubSteps[5];
constinit uint32_t g_aulPlaneLines[5];

namespace {

using namespace protocol;

// ---- fans ----
struct FanUnit {
  CFanCnt* pHeadFan;
  CFanCnt* pSideFan;
  CAnalogSensor* pHeadTherm;
};
constexpr FanUnit kFanUnits[2] = {
    {&g_FanHeadL, &g_FanSideL, &g_AdHThermL},
    {&g_FanHeadR, &g_FanSideR, &g_AdHThermR},
};

// ---- ramps ----
constexpr double kMicronsPerInch = 25.4 * 1000000.0;
constexpr double kLinesPerInch = 300.0;
constexpr double kPi = 3.14;
constexpr double kStepsPerTurn = 6262.31;
constexpr double kSubStepsPerMain = 4.0;
constexpr uint32_t kSubStartRate = 500;
constexpr uint32_t kSubRampMs = 200;
CRampTable* const kSubRamps[5] = {&g_Ramp33, &g_Ramp34, &g_Ramp35, &g_Ramp36, &g_Ramp37};
const CRampTable* const kMainRamps[5] = {&g_Ramp00, &g_Ramp01, &g_Ramp02, &g_Ramp03, &g_Ramp04};
constexpr uint32_t kLogDataDiameter = 5;

// ---- per-plane codes ----
struct PlaneStatusCodes {
  uint32_t ulPrinting;
  uint32_t ulDone;
};
constexpr PlaneStatusCodes kPlaneStatus[5] = {
    {PRINTER_STATE_PRINT_63, PRINTER_STATE_PRINT_64}, {PRINTER_STATE_PRINT_65, PRINTER_STATE_PRINT_66},
    {PRINTER_STATE_PRINT_67, PRINTER_STATE_PRINT_68}, {PRINTER_STATE_PRINT_69, PRINTER_STATE_PRINT_6A},
    {PRINTER_STATE_PRINT_6E, PRINTER_STATE_PRINT_6A},
};

constexpr uint32_t kKeepLogColor = 0xFFFFFFFFu;
struct NextPassCodes {
  uint32_t ulPassIndex;
  uint32_t ulPrintPhase;
  uint32_t ulHeldWindPhase;
  uint32_t ulSpeedProfile;
  uint32_t ulLogColor;    // kKeepLogColor: unchanged
  bool bResetDummyLines;  // the ribbon's dummy lines back to Y's
};
constexpr NextPassCodes kNextPass[5] = {
    {1, 2, RIBPH_WIND_M, 2, 1, false}, {2, 3, RIBPH_WIND_C, 3, 2, false}, {3, 5, RIBPH_WIND_L, 4, 3, false},
    {0, 1, RIBPH_WIND_Y, 1, 0, true},  {0, 1, RIBPH_WIND_Y, 1, kKeepLogColor, true},
};

// ---- paper ----
constexpr uint32_t kCountdownStart = 0x10000;
constexpr uint32_t kEjectPinchFeed = 2;
constexpr uint32_t kEjectForward = 1;

uint32_t CurrentLine() {
  uint32_t ulLine = 0;
  g_PaperPosition.GetCurrentPoint(&ulLine);
  return ulLine;
}

// The part of a back-feed from the countdown on: the steps fed while the
// sensor window is watched (unless the feed fits before the sensor) and a
// ribbon that the reached sensor stops; the end step stops the ribbon.
struct BackFeed {
  int32_t lSteps;
  uint32_t ulWindow;
  uint32_t ulCheckDone;
  uint32_t ulErrorIndex;
};

// Steps 8 to 50 of a back-feed; the next step.
uint32_t BackFeedStep(SeqStepState& s, BackFeed& feed) {
  switch (s.ulStep) {
    case 8:
      s.lResult = g_StpmtrMain.SetCountdown(kCountdownStart);
      return 10;
    case 10:
      s.lResult = g_PaperPosition.MoveSteps(feed.lSteps);
      return 14;
    case 14:
      return feed.ulCheckDone == 1 ? 20u : 16u;
    case 16: {
      uint32_t ulMoved = 0;
      s.lResult = CheckSensorReachedInWindow(&g_AdPosition, 1, feed.ulCheckDone, kCountdownStart, feed.ulWindow,
                                             ulMoved, feed.ulErrorIndex);
      return 20;
    }
    case 20: {
      int32_t lMain = 0, lSub = 0;
      s.lResult = g_StpmtrMain.GetState(&lMain);
      if (s.lResult == 0) s.lResult = g_StpmtrSub.GetState(&lSub);
      return lMain == 0 && lSub == 0 ? 50u : 30u;
    }
    case 30: {
      uint32_t ulState = 0;
      s.lResult = g_AdPosition.GetState(&ulState);
      return ulState == 1 ? 40u : 14u;
    }
    case 40:
      s.lResult = g_pDonorMng->StopRibbon(1, 1);
      return 14;
    case 50:
      s.lResult = g_EjectMotor.Stop();
      return SEQ_STEP_END;
    default:
      s.lResult = -1;
      return SEQ_STEP_END;
  }
}

// The window of a back-feed of the given lines: the way to the position
// sensor plus its margin; a feed within it needs no sensor check.
void SetBackFeedWindow(BackFeed& feed, uint32_t ulFeedLines) {
  const uint32_t ulLimit = PAPER_AT_POSITION_SENSOR - CurrentLine() + SENSOR_WINDOW_MARGIN_LINES;
  feed.ulWindow = LinesToStepsHalf(ulLimit);
  feed.ulCheckDone = ulFeedLines > ulLimit ? 0u : 1u;
}

void SetBackFeedProfiles() {
  const bool bDiam1 = SettingValue(g_ParamFeedRollDiam) == 1;
  g_PaperPosition.SetParam(PAPER_PARAM_NO_STOP, 0);
  g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 1);
  g_PaperPosition.SetParam(PAPER_PARAM_SUB_STEP_MODE, 1);
  g_PaperPosition.SetParam(PAPER_PARAM_MAIN_PROFILE, bDiam1 ? 12 : 13);
  g_PaperPosition.SetParam(PAPER_PARAM_SUB_PROFILE, bDiam1 ? 22 : 23);
}

// ---- repeats ----
struct RepeatProfiles {
  uint32_t ulMain;
  uint32_t ulSub;
  uint32_t ulLoadSub;
};
constexpr RepeatProfiles kRepeatProfiles[2] = {{13, 23, 33}, {12, 22, 32}};
constexpr uint32_t kMarkPanelLead = 66;
constexpr uint32_t kMarkWindPhase = 16, kMarkWindDirection = 2, kMarkWindRetries = 3;
// The lines short of the print start the paper returns to after a pass.
constexpr uint32_t kBackFeedMarginLines = 36;
constexpr uint32_t kOrderRowColourSecond = 1;

}  // namespace

int32_t HeadFanControl(uint32_t ulOtherUnit) {
  const uint32_t ulUnit = (GetCurrentUnit() != 0) != (ulOtherUnit != 0) ? 1u : 0u;
  const FanUnit& unit = kFanUnits[ulUnit];
  uint32_t ulHead = 0, ulAmbient = 0;
  const int32_t lResult = unit.pHeadTherm->Read(&ulHead);
  ulHead >>= 2;
  g_AdEnvTherm.Read(&ulAmbient);
  ulAmbient >>= 2;
  const uint32_t ulOn = static_cast<uint32_t>(FanSwitchLevel(g_ParamFanOn, g_aucFanOnLevel, ulAmbient));
  const uint32_t ulOff = static_cast<uint32_t>(FanSwitchLevel(g_ParamFanOff, g_aucFanOffLevel, ulAmbient));
  if (ulOn > ulHead) {
    unit.pHeadFan->On();
    unit.pSideFan->On();
  }
  if (ulOff < ulHead) {
    unit.pHeadFan->Off();
    unit.pSideFan->Off();
  }
  return lResult;
}

int32_t* GetSensorOffsetLines(int32_t* plLines) {
  *plLines = -SettingValue(GetCurrentUnit() == 0 ? g_ParamSensorOffsetL : g_ParamSensorOffsetR);
  return plLines;
}

uint32_t BuildSubStepperRamp(uint32_t ulPlaneCode) {
  uint32_t ulPeriod = 0;
  GetTableValue(g_PrintLine.GetTableIndex(ulPlaneCode), &ulPeriod);
  // Without a line period there is no speed to follow: the ramp stays.
  if (ulPeriod == 0) return 0;
  const double dSpeed = kMicronsPerInch / kLinesPerInch / static_cast<double>(ulPeriod);
  double dDiameter = 0.0;
  g_RollDiameter.GetDiameter(&dDiameter);
  g_ulLogData[kLogDataDiameter] = static_cast<uint32_t>(dDiameter * 10.0);
  const double dTurns = dSpeed / (dDiameter * kPi);
  uint32_t ulRate = static_cast<uint32_t>(kStepsPerTurn * kSubStepsPerMain * dTurns);
  if (ulPlaneCode == PLANE_L) ulRate = ulRate * 15 / 10;
  CRampTable& ramp = ulPlaneCode <= PLANE_SP ? *kSubRamps[ulPlaneCode] : g_Ramp33;
  ramp.SetupByRate(kSubStartRate, ulRate, kSubRampMs);
  return ulRate;
}

uint32_t FollowMainStepperRamp(uint32_t ulPlaneCode) {
  const uint32_t ulPlane = ulPlaneCode <= PLANE_SP ? ulPlaneCode : PLANE_Y;
  return BuildLineSpeedRamp(*kMainRamps[ulPlane], *kSubRamps[ulPlane]);
}

int32_t GetPlaneStatusCodes(uint32_t ulPlaneCode, uint32_t* pulPrinting, uint32_t* pulDone) {
  if (ulPlaneCode > PLANE_SP) return -1;
  *pulPrinting = kPlaneStatus[ulPlaneCode].ulPrinting;
  *pulDone = kPlaneStatus[ulPlaneCode].ulDone;
  return 0;
}

int32_t GetNextPassCodes(uint32_t ulPlaneCode, uint32_t* pulPassIndex, uint32_t* pulPrintPhase,
                         uint32_t* pulHeldWindPhase, uint32_t* pulSpeedProfile) {
  if (ulPlaneCode > PLANE_SP) return -1;
  const NextPassCodes& c = kNextPass[ulPlaneCode];
  *pulPassIndex = c.ulPassIndex;
  *pulPrintPhase = c.ulPrintPhase;
  *pulHeldWindPhase = c.ulHeldWindPhase;
  *pulSpeedProfile = c.ulSpeedProfile;
  if (c.ulLogColor != kKeepLogColor) g_ulPrintLogColor = c.ulLogColor;
  if (c.bResetDummyLines) g_ulRibDummyLines = g_pCurPrintSize->aulFrontDummyLines[PLANE_Y];
  return 0;
}

int32_t BackFeedToCutPosition(const PrintJobRecord*, uint32_t ulMask) {
  BackFeed feed{0, 0, 0, g_ulCurErrUpperJam63};
  SetBackFeedProfiles();
  return RunSteps(0, SEQ_STEP_END, ulMask | SEQ_CHECK_PAPER_END, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0: {
        const uint32_t ulDistance = PAPER_AT_CUT - CurrentLine() + g_pCurPrintSize->ulColourTailLines +
                                    g_pCurPrintSize->ulCutterLeadLines;
        feed.lSteps = static_cast<int32_t>(LinesToSteps(ulDistance));
        SetBackFeedWindow(feed, ulDistance);
        return 6;
      }
      case 6:
        s.lResult = MoveEjectPinch(kEjectPinchFeed, ulMask);
        return 8;
      case 9:
        s.lResult = g_EjectMotor.Start(kEjectForward);
        return 10;
      case 8:
        s.lResult = g_StpmtrMain.SetCountdown(kCountdownStart);
        return 9;
      case SEQ_STEP_END:
        g_pDonorMng->StopRibbon(1, 1);
        g_pCurClutchRibRvs->Off();
        return SEQ_STEP_END;
      default:
        return BackFeedStep(s, feed);
    }
  });
}

int32_t BackFeedAfterPass(uint32_t* pulFits, uint32_t ulMask) {
  BackFeed feed{0, 0, 0, g_ulCurErrUpperJam67};
  SetBackFeedProfiles();
  CHeadPreheat& otherPreheat = GetCurrentUnit() == 0 ? g_PreheatR : g_PreheatL;
  return RunSteps(0, SEQ_STEP_END, ulMask | SEQ_CHECK_PAPER_END, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0: {
        uint32_t ulPlane = 0, ulReturn = 0;
        g_PlaneSequencer.GetNextPlaneSteps(&ulPlane);
        s.lResult = g_PlaneSequencer.GetPaperReturnSteps(kBackFeedMarginLines, &ulReturn);
        feed.lSteps = static_cast<int32_t>(ulPlane + ulReturn);
        return 5;
      }
      case 5:
        SetBackFeedWindow(feed, StepsToLines(static_cast<uint32_t>(feed.lSteps)));
        *pulFits = feed.ulCheckDone;
        return 7;
      case 7:
        s.lResult = otherPreheat.Start();
        return 8;
      case SEQ_STEP_END:
        g_pDonorMng->StopRibbon(1, 1);
        g_pCurClutchRibRvs->Off();
        g_PreheatL.Stop();
        g_PreheatR.Stop();
        return SEQ_STEP_END;
      default:
        return BackFeedStep(s, feed);
    }
  });
}

int32_t WindMarkRibbonToPanel(const PrintSizeRecord& size, uint32_t ulPlaneCode, uint32_t ulMask) {
  uint32_t ulCounts = 0;
  return RunSteps(0, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0:
        s.lResult = g_pRibbonRoll->LengthToCount(RIBBON_SIDE_SUPPLY, MarkPanelWindLines(size, ulPlaneCode), &ulCounts);
        return 100;
      case 100:
        g_pCurSlitRibEncSrc->Clear();
        g_pCurSlitRibEncSrc->Start();
        s.lResult = WindRibbonToCount(kMarkWindPhase, kMarkWindDirection, ulCounts, ulMask, 1, nullptr, nullptr,
                                      kMarkWindRetries, 0);
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

int32_t RepositionForRepeat(uint32_t ulMask) {
  const RepeatProfiles& p = kRepeatProfiles[SettingValue(g_ParamFeedRollDiam) == 1 ? 1 : 0];
  return RunSteps(0, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0:
        s.lResult = SetStatusItem(SI_PRINTER_STATE, PRINTER_STATE_PRINTING, 1);
        return 100;
      case 100:
        g_pCurClutchRibRvs->On();
        s.lResult = MoveFeedPinch(1, ulMask);
        return g_ulRollEndDetected != 0 ? 2000u : 1000u;
      case 1000:
        s.lResult = MovePaperTo(PAPER_AT_POSITION_SENSOR, 0, 1, 1, p.ulMain, p.ulSub, ulMask);
        return 3000;
      case 2000:
        s.lResult = g_ClutchLoad.On();
        return 2010;
      case 2010:
        s.lResult = MoveLoadPinch(2, ulMask);
        return 2020;
      case 2020:
        s.lResult = MovePaperTo(PAPER_AT_POSITION_SENSOR, 0, 1, 1, p.ulMain, p.ulLoadSub, ulMask);
        return 2030;
      case 2030:
        s.lResult = MoveLoadPinch(1, ulMask);
        return 2040;
      case 2040:
        s.lResult = g_ClutchLoad.Off();
        return 3000;
      case 3000:
        s.lResult = g_pCurClutchRibRvs->Off();
        return 3010;
      case 3010:
        s.lResult = SeqWaitMs(200, ulMask);
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

uint32_t MarkPanelWindLines(const PrintSizeRecord& size, uint32_t ulPlaneCode) {
  const uint32_t ulPlane = ulPlaneCode >= PLANE_M && ulPlaneCode <= PLANE_L ? ulPlaneCode : PLANE_Y;
  const uint32_t ulLines = size.aulFrontDummyLines[ulPlane];
  return ulLines >= kMarkPanelLead ? ulLines - kMarkPanelLead : 0;
}

uint32_t OrderCode(uint32_t ulSide, uint32_t ulUnit) {
  constexpr uint32_t kCodes[2][2] = {{4, 2}, {3, 1}};  // [side is 1][unit is 1]
  return kCodes[ulSide == 1 ? 1 : 0][ulUnit == 1 ? 1 : 0];
}

int32_t CountUnitRepeat() {
  PrintJobRecord* pJob = nullptr;
  const int32_t lResult = g_PrintJobQueue.GetCurrentJob(&pJob);
  if (lResult != 0) return lResult;
  const bool bSp = g_PrintJobQueue.IsSpSlotExpected(pJob, 0) == 0 || g_PrintJobQueue.IsSpSlotExpected(pJob, 1) == 0;
  const bool bColourA = g_PrintJobQueue.IsColorSlotExpected(pJob, 0) == 0;
  const bool bColourB = g_PrintJobQueue.IsColorSlotExpected(pJob, 1) == 0;
  if (!bSp && bColourA != bColourB) {
    uint32_t ulKind = 0, ulSide = 0, ulUnit = 0;
    g_PrintJobQueue.GetPrintOrderEntry(kOrderRowColourSecond, &ulKind, &ulSide, &ulUnit);
    g_ulPrevOrderCode = g_ulCurOrderCode;
    g_ulCurOrderCode = OrderCode(ulSide, ulUnit);
    g_ulUnitRepeatCount = g_ulPrevOrderCode != g_ulCurOrderCode ? 0 : g_ulUnitRepeatCount + 1;
  } else {
    g_ulUnitRepeatCount = 0;
    g_ulPrevOrderCode = 0;
    g_ulCurOrderCode = 0;
  }
  return lResult;
}
