// The paper path change: the decision from a print-order row, the change
// while printing and the change before a job. Both changes share the
// crossing: the paper backed out past the path's split, the carousel
// turned when needed, the new unit selected, the paper fed up to the new
// unit's top sensor.
#include "firmware/sequences/path_change.h"

#include "firmware/control/head_preheat.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/event_set.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/kernel.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/time_base.h"
#include "firmware/control/engine_variant.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_support.h"
#include "firmware/sequences/path_moves.h"
#include "firmware/sequences/sequence_words.h"
#include "protocol/codes.h"

namespace {

// ---- the slots ----
struct PathSlot {
  uint32_t ulSlot;
  uint32_t ulUnitIndex;
};
// By [side - 1][unit - 1].
constexpr PathSlot kPathSlots[2][2] = {
    {{1, 0}, {3, 1}},  // side A on L, on R
    {{2, 0}, {4, 1}},  // side B on L, on R
};
// By [target slot][current slot]: 1 the carousel turns.
constexpr int32_t kPathTurnTable[PATH_SLOTS][PATH_SLOTS] = {
    {0, 0, 0, 0, 0}, {0, 0, 1, 1, 0}, {0, 1, 0, 0, 1}, {0, 1, 0, 0, 1}, {0, 0, 1, 1, 0},
};

// ---- the moves' arguments ----
constexpr uint32_t kForward = 0, kBack = 1;
constexpr uint32_t kPaperSeen = 1, kPaperGone = 0;
constexpr uint32_t kHalt = 1;
constexpr uint32_t kUp = 1, kDown = 10;
constexpr uint32_t kLoadPinchOpen = 1, kLoadPinchClosed = 2;
constexpr uint32_t kLockRelease = 3, kLockEngage = 5;
constexpr uint32_t kPathToL = 3, kPathToR = 4;
constexpr uint32_t kRotationAOnR = 3;
constexpr uint32_t kRollToAOnL = 2, kRollToAOnR = 3;
constexpr uint32_t kTop = 0x10000;
constexpr uint32_t kStart = 67133;
constexpr uint32_t kMargin = 120;
// Backing the paper out of the present path.
constexpr uint32_t kBackOutLines = 8471;
// The short feeds at the new unit: to "Position", or back behind the top
// sensor.
constexpr uint32_t kShortFeedLines = 1597 + kMargin;
// Past the path's split: to "PaperPath" without a turn from engine version
// 2 on, else out past "PaperEmpty" and back.
constexpr uint32_t kSplitToPaperPathLines = 945;
constexpr uint32_t kSplitToPaperEmptyLines = 2291;
constexpr uint32_t kSplitSlackLines = 1200;
constexpr uint32_t kPaperEmptyLimitLines = kSplitToPaperEmptyLines + kMargin + kSplitSlackLines;
constexpr uint32_t kNewTopScale = 2182;  // per mille
constexpr int32_t kFirstVersionWithPaperPath = 2;
// The CIS calibration's feed between its two edge measurements.
constexpr uint32_t kCisFeedLines = 2631;
constexpr uint32_t kCisHeadDotsOffset = 150;
// Lower-jam indexes of the crossing.
constexpr uint32_t kJamPastPaperEmpty = 0x1534;  // "Lower Jam 52"
constexpr uint32_t kJamBackToPaperEmpty = 0x1535;  // "Lower Jam 53"
constexpr uint32_t kJamNewTop = 0x1536;            // "Lower Jam 54"
constexpr uint32_t kJamPaperPath = 0x1539;         // "Lower Jam 57"
constexpr uint32_t kMainProfile = 14, kSubProfile = 20, kNoFeedDrive = 40;
constexpr uint32_t kWaitAfterFeedMs = 100;

// Steps shared by both changes.
enum PathStep : uint32_t {
  STEP_STATE = 0,
  STEP_CROSS = 200,
  STEP_LOAD_CLUTCH_ON = 201,
  STEP_MAIN_UP = 202,
  STEP_PAST_SPLIT = 203,
  STEP_OUT_PAST_PAPER_EMPTY = 204,
  STEP_PAPER_EMPTY_WAIT = 205,
  STEP_BACK_TO_PAPER_EMPTY = 206,
  STEP_TO_PAPER_PATH = 210,
  STEP_TURN = 300,
  STEP_UNLOCK = 301,
  STEP_TURN_ROLL = 302,
  STEP_LOCK = 303,
  STEP_SELECT_UNIT = 304,
  STEP_PATH_SELECT = 305,
  STEP_TO_NEW_TOP = 400,
  STEP_ERROR_END = 9910,
};

// One change's fixed words.
struct Crossing {
  uint32_t ulTurn;
  uint32_t ulUnitIndex;
  uint32_t ulMask;
  int32_t lEngineVersion;
  bool bPrinting;  // the print-time change: lock moves around the turn, the position set at the new top
};

bool TopSensorSeesPaper() {
  uint32_t ulState = 0;
  return g_pCurAdTop->GetState(&ulState) == 0 && ulState == kPaperSeen;
}

uint32_t NewTopLimit(const Crossing& c) {
  const uint32_t ulSplit =
      c.lEngineVersion < kFirstVersionWithPaperPath || c.ulTurn == 1 ? kSplitToPaperEmptyLines : kSplitToPaperPathLines;
  return (ulSplit + kMargin + kSplitSlackLines) * kNewTopScale / 1000;
}

// Steps 200-400 of either change: the next step, or 0 for a step that is
// not one of them.
uint32_t CrossingStep(SeqStepState& s, const Crossing& c, uint32_t ulAfter) {
  const PathMoves& m = *g_pPathMoves;
  switch (s.ulStep) {
    case STEP_CROSS:
      s.lResult = m.pfnMoveLoadPinch(kLoadPinchClosed, c.ulMask);
      return STEP_LOAD_CLUTCH_ON;
    case STEP_LOAD_CLUTCH_ON:
      s.lResult = g_ClutchLoad.On();
      return STEP_MAIN_UP;
    case STEP_MAIN_UP:
      s.lResult = m.pfnMoveMainPinch(kUp, c.ulMask);
      if (s.lResult == 0) s.lResult = g_TrackCorrect.SetActive();
      return STEP_PAST_SPLIT;
    case STEP_PAST_SPLIT:
      return c.lEngineVersion >= kFirstVersionWithPaperPath && c.ulTurn != 1 ? STEP_TO_PAPER_PATH
                                                                             : STEP_OUT_PAST_PAPER_EMPTY;
    case STEP_TO_PAPER_PATH:
      s.lResult = m.pfnFeedToSensor(&g_AdPaperPath, kBack, kPaperGone, kSplitToPaperPathLines + kMargin + kSplitSlackLines,
                                    kJamPaperPath, kHalt, 0, c.ulMask);
      return STEP_SELECT_UNIT;
    // The paper steppers stop at each end: the carousel may turn next.
    case STEP_OUT_PAST_PAPER_EMPTY:
      s.lResult = m.pfnFeedToSensor(&g_AdPaperEmpty, kBack, kPaperGone, kPaperEmptyLimitLines, kJamPastPaperEmpty,
                                    kHalt, 0, c.ulMask);
      return STEP_PAPER_EMPTY_WAIT;
    case STEP_PAPER_EMPTY_WAIT:
      g_MsTimer.WaitMs(kWaitAfterFeedMs);
      return STEP_BACK_TO_PAPER_EMPTY;
    case STEP_BACK_TO_PAPER_EMPTY:
      s.lResult = m.pfnFeedToSensor(&g_AdPaperEmpty, kForward, kPaperSeen, kPaperEmptyLimitLines,
                                    kJamBackToPaperEmpty, kHalt, 0, c.ulMask);
      return STEP_TURN;
    case STEP_TURN:
      if (c.ulTurn != 1) return STEP_SELECT_UNIT;
      return c.bPrinting ? STEP_UNLOCK : STEP_TURN_ROLL;
    case STEP_UNLOCK:
      s.lResult = m.pfnMoveRotationLock(kLockRelease, c.ulMask);
      return STEP_TURN_ROLL;
    case STEP_TURN_ROLL:
      s.lResult = m.pfnTurnPaperRoll(
          SettingValue(g_ParamRotationFlag) == static_cast<int32_t>(kRotationAOnR) ? kRollToAOnL : kRollToAOnR,
          c.ulMask);
      if (c.bPrinting) return STEP_LOCK;
      if (s.lResult == 0) s.lResult = g_TrackCorrect.SwapSides();
      return STEP_SELECT_UNIT;
    case STEP_LOCK:
      s.lResult = m.pfnMoveRotationLock(kLockEngage, c.ulMask);
      if (s.lResult == 0) s.lResult = g_TrackCorrect.SwapSides();
      return STEP_SELECT_UNIT;
    case STEP_SELECT_UNIT:
      s.lResult = SelectUnit(c.ulUnitIndex);
      return STEP_PATH_SELECT;
    case STEP_PATH_SELECT:
      s.lResult = m.pfnMovePathSelect(c.ulUnitIndex == 1 ? kPathToR : kPathToL, c.ulMask);
      return STEP_TO_NEW_TOP;
    case STEP_TO_NEW_TOP:
      s.lResult = m.pfnFeedToSensor(g_pCurAdTop, kForward, kPaperSeen, NewTopLimit(c), kJamNewTop, kHalt, 0,
                                    c.bPrinting ? c.ulMask : c.ulMask | SEQ_CHECK_PAPER_END);
      if (s.lResult == 0 && c.bPrinting) s.lResult = g_PaperPosition.SetCurrentPoint(kTop);
      return ulAfter;
    default:
      return 0;
  }
}

// The roll-encoder check after the paper was backed out; a paper end seen
// by it ends the change as a failure: the paper is not on its new path.
int32_t CheckRollAfterBackOut(uint32_t ulCisMode, uint32_t* pulPaperEdge, uint32_t* pulImageEdge, uint32_t ulMask) {
  uint32_t ulRollEnd = 0;
  int32_t lCisError = 0;
  int32_t lResult =
      g_pPathMoves->pfnRollEncoderFeedCheck(&ulRollEnd, ulCisMode, pulPaperEdge, pulImageEdge, &lCisError, ulMask);
  if (lResult == 0 && lCisError == -1) lResult = -1;
  if (lResult == 0 && IsEventPending(EV_PAPER_END)) lResult = -1;
  return lResult;
}

// The CIS edges of unit R measured on the way back: the image edge's
// travel over a known feed gives the head's point of the paper edge, the
// CIS offset of unit R follows from it.
struct CisEdges {
  uint32_t aulPaper[2];
  uint32_t aulImage[2];
};

void ApplyCisOffsetR(const CisEdges& e) {
  g_Cis.CalcHeadPointPaperEdge(0, e.aulImage[1], e.aulImage[0], static_cast<int32_t>(kCisFeedLines));
  uint32_t ulHeadEdge = 0;
  g_Cis.GetHeadPointPaperEdge(0, &ulHeadEdge);
  uint32_t ulHeadDots = 0;
  g_FpgaMain.GetHeadDots(&ulHeadDots);
  g_Cis.SetCisOffsetR(static_cast<int32_t>(ulHeadDots / 2 + kCisHeadDotsOffset), static_cast<int32_t>(ulHeadEdge));
  syslog(LOG_EMERG, "ulPaperEdge1=%d, ulPaperEdge2=%d ", e.aulPaper[0], e.aulPaper[1]);
  syslog(LOG_EMERG, "ulImageEdge1=%d, ulImageEdge2=%d, Edge1_2Length=%d ", e.aulImage[0], e.aulImage[1],
         kCisFeedLines);
  syslog(LOG_EMERG, "ulTPHImageEdge2 = %d ", ulHeadEdge);
  syslog(LOG_EMERG, "CisOffsetR = %d ", SettingValue(g_ParamCisOffsetR));
}

// The opening of either change (steps 10 or 15, 20 and 30): the eject and
// the feed pinch open, then back out from the top sensor (100) when it
// sees the paper, else straight to the crossing.
uint32_t OpeningStep(SeqStepState& s, uint32_t ulMask) {
  switch (s.ulStep) {
    case 20:
      s.lResult = g_pPathMoves->pfnMoveFeedPinch(kUp, ulMask);
      return 30;
    case 30:
      return TopSensorSeesPaper() ? 100u : static_cast<uint32_t>(STEP_CROSS);
    default:
      s.lResult = g_pPathMoves->pfnMoveEjectPinch(kUp, ulMask);
      return 20;
  }
}

void StartChange() {
  g_Lcd.WriteText("Changing Path   ", 0, 16);
  g_PaperPosition.Reset(0);
}

void StartOtherPreheat(uint32_t ulCurrentUnit) {
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetCurrentJob(&pJob) != 0 || pJob == nullptr) return;
  uint32_t ulIndex = 0;
  g_PrintJobQueue.GetPrintOrderIndex(&ulIndex);
  if (ulIndex < pJob->ulLastOrderRow) (ulCurrentUnit == 1 ? g_PreheatL : g_PreheatR).Start();
}

}  // namespace

uint32_t StartPositionStep(SeqStepState& s, const uint32_t (&aulSteps)[4], uint32_t ulLimitLines,
                           uint32_t ulJamIndex, uint32_t ulMask) {
  const PathMoves& m = *g_pPathMoves;
  if (s.ulStep == aulSteps[0]) {
    s.lResult = m.pfnTakeUpRibbonSlack(0, 0, ulMask);
    return aulSteps[1];
  }
  if (s.ulStep == aulSteps[1]) {
    s.lResult = m.pfnMovePaperToEx(kStart, -100, 1, 1, 1, kMainProfile, kSubProfile, kNoFeedDrive,
                                   ulMask | SEQ_CHECK_PAPER_END);
    return aulSteps[2];
  }
  if (s.ulStep != aulSteps[2]) return 0;
  s.lResult = m.pfnFeedToSensor(&g_AdPosition, kForward, kPaperSeen, ulLimitLines, ulJamIndex, kHalt, 0,
                                WithoutHostCheck(ulMask));
  if (s.lResult == 0) s.lResult = g_PaperPosition.SetCurrentPoint(kStart);
  if (s.lResult == 0) g_ulPathPrepared = 1;
  return aulSteps[3];
}

int32_t PathTargetSlot(uint32_t ulSide, uint32_t ulUnit, uint32_t* pulSlot, uint32_t* pulUnitIndex) {
  if (ulSide < 1 || ulSide > 2 || ulUnit < 1 || ulUnit > 2) return -1;
  const PathSlot& slot = kPathSlots[ulSide - 1][ulUnit - 1];
  *pulSlot = slot.ulSlot;
  *pulUnitIndex = slot.ulUnitIndex;
  return 0;
}

uint32_t PathTurnNeeded(uint32_t ulTargetSlot, uint32_t ulCurrentSlot) {
  if (ulTargetSlot >= PATH_SLOTS || ulCurrentSlot >= PATH_SLOTS) return 0;
  return static_cast<uint32_t>(kPathTurnTable[ulTargetSlot][ulCurrentSlot]);
}

int32_t ChangePathIfNeeded(uint32_t ulEntryIndex, uint32_t ulIdle, uint32_t* pulChanged, uint32_t ulMask) {
  uint32_t ulKind = 0, ulSide = 0, ulUnit = 0;
  g_PrintJobQueue.GetPrintOrderEntry(ulEntryIndex, &ulKind, &ulSide, &ulUnit);
  return DecidePathChange(ulSide, ulUnit, ulIdle, pulChanged, ulMask);
}

int32_t DecidePathChange(uint32_t ulSide, uint32_t ulUnit, uint32_t ulIdle, uint32_t* pulChanged, uint32_t ulMask) {
  *pulChanged = 1;
  uint32_t ulTarget = 0, ulUnitIndex = 0;
  if (PathTargetSlot(ulSide, ulUnit, &ulTarget, &ulUnitIndex) != 0) return -1;
  int32_t lUnitA = 0, lUnitB = 0, lPathSide = 0, lCurrent = 0;
  g_UnitPair.Resolve(&lUnitA, &lUnitB, &lPathSide, &lCurrent);
  if (lCurrent <= 0 || lCurrent >= static_cast<int32_t>(PATH_SLOTS)) return -1;
  const uint32_t ulCurrent = static_cast<uint32_t>(lCurrent);
  if (ulCurrent == ulTarget) {
    // The paper already runs to the row's unit; that unit becomes the
    // current one (after a restart the switch stands at unit L).
    *pulChanged = 0;
    return SelectUnit(ulUnitIndex);
  }
  const uint32_t ulTurn = PathTurnNeeded(ulTarget, ulCurrent);
  if (ulIdle != 0) return ChangePathIdleSequence(ulTurn, ulUnitIndex, ulMask);
  const int32_t lResult = ChangePathSequence(ulTurn, ulUnitIndex, PATH_CHANGE_PRINTING, ulMask);
  if (g_ulRepeatState == 0) g_ulRepeatState = 1;
  return lResult;
}

int32_t ChangePathSequence(uint32_t ulTurn, uint32_t ulUnitIndex, uint32_t ulKind, uint32_t ulMask) {
  StartChange();
  const bool bCis = SettingValue(g_ParamCisSW) != 0 && SettingValue(g_ParamConfigMode) != 0 &&
                    ulKind != PATH_CHANGE_DIAGNOSIS;
  const uint32_t ulCurrentUnit = GetCurrentUnit();
  const Crossing c{ulTurn, ulUnitIndex, ulMask, SettingValue(g_ParamEngineVersion), true};
  const PathMoves& m = *g_pPathMoves;
  CisEdges edges{};
  return RunSteps(STEP_STATE, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    if (const uint32_t ulNext = CrossingStep(s, c, 500); ulNext != 0) return ulNext;
    if (const uint32_t ulNext = StartPositionStep(s, {540, 550, 560, 570}, kShortFeedLines, g_ulCurErrUpperJam55, ulMask);
        ulNext != 0) {
      return ulNext;
    }
    switch (s.ulStep) {
      case STEP_STATE:
        s.lResult = SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_CHANGING_PATH, 1);
        return 4;
      case 4:
        HeadFanControl(0);
        return 5;
      case 5:
        HeadFanControl(1);
        return ulKind == PATH_CHANGE_PRINTING ? 8u : 10u;
      case 8:
        StartOtherPreheat(ulCurrentUnit);
        return 10;
      case 10:
        if (g_ulEngModeA == 2) s.lResult = g_pDonorMng->StopRibbon(1, 1);
        return 15;
      case 15:
      case 20:
      case 30:
        return OpeningStep(s, ulMask);
      case 100:
        s.lResult = m.pfnMoveMainPinch(kDown, ulMask);
        return g_ulRollEndDetected != 0 ? 170u : 101u;
      case 170:
        s.lResult = g_ClutchLoad.On();
        return 172;
      case 172:
        s.lResult = m.pfnMoveLoadPinch(kLoadPinchClosed, ulMask);
        return 174;
      case 174:
        s.lResult = m.pfnFeedUntilSensor(g_pCurAdTop, kBack, 1, kPaperGone, kBackOutLines, g_ulCurErrUpperJam51,
                                         kHalt, 0, ulMask);
        return STEP_CROSS;
      case 101:
        s.lResult = m.pfnFeedToSensorCoarse(g_pCurAdTop, kBack, kPaperGone, kBackOutLines, g_ulCurErrUpperJam51,
                                            kHalt, 0, ulMask);
        return 102;
      case 102:
        return bCis ? 120 : 110;
      case 110:
        s.lResult = CheckRollAfterBackOut(ROLL_CHECK_NO_CIS, nullptr, nullptr, ulMask);
        return STEP_CROSS;
      case 120:
        if (ulCurrentUnit == 0) {
          s.lResult = CheckRollAfterBackOut(ROLL_CHECK_NO_CIS, nullptr, nullptr, ulMask);
          return STEP_CROSS;
        }
        s.lResult = CheckRollAfterBackOut(ROLL_CHECK_PAPER_IMAGE_EDGE, &edges.aulPaper[0], &edges.aulImage[0], ulMask);
        return 121;
      case 121:
        s.lResult = m.pfnMovePaperBy(static_cast<int32_t>(kCisFeedLines), 1, 1, kMainProfile, kSubProfile, ulMask);
        return 122;
      case 122:
        s.lResult = CheckRollAfterBackOut(ROLL_CHECK_PAPER_IMAGE_EDGE, &edges.aulPaper[1], &edges.aulImage[1], ulMask);
        return 123;
      case 123:
        ApplyCisOffsetR(edges);
        return 130;
      case 130:
        s.lResult = m.pfnFeedToSensorCoarse(g_pCurAdTop, kBack, kPaperGone, kCisFeedLines + kMargin,
                                            g_ulCurErrUpperJam21, kHalt, 0, ulMask);
        return STEP_CROSS;
      case 500:
        s.lResult = m.pfnMoveMainPinch(kDown, ulMask);
        return 510;
      case 510:
        s.lResult = m.pfnMoveFeedPinch(kDown, ulMask);
        return 520;
      case 520:
        s.lResult = m.pfnMoveLoadPinch(kLoadPinchOpen, ulMask);
        return 530;
      case 530:
        s.lResult = g_ClutchLoad.Off();
        return 540;
      case 570:
        s.lResult = g_pDonorMng->StopRibbon(1, 1);
        return 580;
      case 580: {
        uint32_t ulRollEnd = 0;
        s.lResult = m.pfnRollEncoderFeedCheck(&ulRollEnd, ROLL_CHECK_NO_CIS, nullptr, nullptr, nullptr, ulMask);
        return STEP_ERROR_END;
      }
      case SEQ_STEP_ERROR:
        g_PreheatL.Stop();
        g_PreheatR.Stop();
        return STEP_ERROR_END;
      case STEP_ERROR_END:
        g_pDonorMng->StopRibbon(1, 1);
        g_ulPathChanged = 1;
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_ERROR;
    }
  });
}

int32_t ChangePathIdleSequence(uint32_t ulTurn, uint32_t ulUnitIndex, uint32_t ulMask) {
  StartChange();
  const Crossing c{ulTurn, ulUnitIndex, ulMask, SettingValue(g_ParamEngineVersion), false};
  const PathMoves& m = *g_pPathMoves;
  return RunSteps(STEP_STATE, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    if (const uint32_t ulNext = CrossingStep(s, c, 410); ulNext != 0) return ulNext;
    switch (s.ulStep) {
      case STEP_STATE:
        s.lResult = SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_CHANGING_PATH, 1);
        return 10;
      case 10:
      case 20:
      case 30:
        return OpeningStep(s, ulMask);
      case 100:
        s.lResult = m.pfnMoveMainPinch(kDown, ulMask);
        return 105;
      case 105:
        s.lResult = g_pCurClutchRibRvs->On();
        return g_ulRollEndDetected != 0 ? 150u : 110u;
      case 150:
        s.lResult = g_ClutchLoad.On();
        return 152;
      case 152:
        s.lResult = m.pfnMoveLoadPinch(kLoadPinchClosed, ulMask);
        return 154;
      case 154:
        s.lResult = m.pfnFeedUntilSensor(g_pCurAdTop, kBack, 2, kPaperGone, kBackOutLines, g_ulCurErrUpperJam56,
                                         kHalt, 0, ulMask);
        return 160;
      case 110:
        s.lResult = m.pfnFeedToSensorRollLimited(g_pCurAdTop, kBack, kPaperGone, kBackOutLines,
                                                 g_ulCurErrUpperJam56, kHalt, ulMask);
        return 160;
      case 160:
        s.lResult = g_pCurClutchRibRvs->Off();
        return STEP_CROSS;
      case 410:
        g_MsTimer.WaitMs(kWaitAfterFeedMs);
        return 500;
      case 500:
        s.lResult = m.pfnMoveMainPinch(kDown, ulMask);
        return g_ulRollEndDetected != 0 ? 520u : 510u;
      case 520:
        s.lResult = m.pfnFeedUntilSensor(g_pCurAdTop, kBack, 1, kPaperGone, kShortFeedLines, g_ulCurErrUpperJam51,
                                         kHalt, 0, ulMask);
        if (s.lResult == 0) s.lResult = g_PaperPosition.SetCurrentPoint(kTop);
        return 522;
      case 522:
        s.lResult = m.pfnMoveLoadPinch(kLoadPinchOpen, ulMask);
        return 524;
      case 524:
        s.lResult = g_ClutchLoad.Off();
        return 600;
      case 510:
        s.lResult = m.pfnMoveLoadPinch(kLoadPinchOpen, ulMask);
        return 512;
      case 512:
        s.lResult = g_ClutchLoad.Off();
        return 514;
      case 514:
        s.lResult = m.pfnFeedToSensorCoarse(g_pCurAdTop, kBack, kPaperGone, kShortFeedLines, g_ulCurErrUpperJam51,
                                            kHalt, 0, ulMask);
        if (s.lResult == 0) s.lResult = g_PaperPosition.SetCurrentPoint(kTop);
        return 600;
      case 600:
        s.lResult = m.pfnMovePaperTo(g_ulEngPosRefA, 47, 2, 3, 0, 21, ulMask | SEQ_CHECK_PAPER_END);
        return 610;
      case 610: {
        uint32_t ulRollEnd = 0;
        s.lResult = m.pfnRollEncoderFeedCheck(&ulRollEnd, ROLL_CHECK_NO_CIS, nullptr, nullptr, nullptr, ulMask);
        return SEQ_STEP_ERROR;
      }
      case SEQ_STEP_ERROR:
        g_ulPathChanged = 1;
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_ERROR;
    }
  });
}
