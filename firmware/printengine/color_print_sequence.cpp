// The sheet print step machine: the colour passes, the mark-sensor
// ribbon's variant and the single pass.
#include "firmware/printengine/color_print_sequence.h"

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/kernel.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/eject_motor.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/dsp_image_job.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_conditioning.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_sequence.h"
#include "firmware/printengine/print_sequence_support.h"
#include "firmware/printengine/print_sequence_words.h"
#include "firmware/printengine/print_size_words.h"
#include "firmware/printengine/print_support.h"
#include "firmware/printengine/single_pass.h"
#include "firmware/sequences/sequence_words.h"
#include "protocol/codes.h"

constinit int32_t g_lPrintStartFeed;
constinit int32_t g_lSensorOffsetLines;
constinit int32_t g_lCisEdgeResult;

namespace {

using namespace protocol;

constexpr uint32_t kSlotOfCurrentRow = 3;
constexpr uint32_t kFeedPinchUp = 1, kFeedPinchDown = 10;
constexpr uint32_t kLoadPinchUp = 1, kLoadPinchDown = 2;
constexpr uint32_t kMainPinchDown = 10;
constexpr uint32_t kHeadUp = 1, kHeadDown = 2;
constexpr uint32_t kCountdownStart = 0x10000;
constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
constexpr int32_t kSensorWindowMargin = -120;
constexpr uint32_t kLeadInMarginLines = 36;
constexpr uint32_t kStretchMask = 0xFFF;
constexpr uint32_t kBackFeedSettleMs = 50;
constexpr uint32_t kReverseClutchSettleMs = 200;
constexpr uint32_t kPaperEdgeLogKey1 = 0x200000, kPaperEdgeLogKey2 = 0x400000, kOvercoatLogKey = 0x10000;
constexpr uint16_t kCancelWaiting = CANCEL_AFTER_ROW | CANCEL_INCOMPLETE_ROWS;
constexpr uint32_t kSubProfileNone = 40;
constexpr uint32_t kPrintExcitation = 2, kSinglePassExcitation = 4, kPrintSubStepMode = 2;

// Speed profiles of the positioning moves by "FeedRollDiam" 0 and 1.
struct PositioningProfiles {
  uint32_t ulMain, ulSub, ulLoadSub, ulFeedDrive;
};
constexpr PositioningProfiles kPositioningProfiles[2] = {{13, 23, 33, 14}, {12, 22, 32, 14}};

// The initial pass values of a colour sheet: normal, and overcoat only.
struct InitialPass {
  uint32_t ulPlaneCode, ulPassIndex, ulPrintPhase, ulHeldWindPhase, ulSpeedProfile, ulLogColor;
};
constexpr InitialPass kNormalSheet = {PLANE_Y, 0, RIBPH_PRINT_Y, RIBPH_WIND_M, 1, 0};
constexpr InitialPass kOvercoatOnlySheet = {PLANE_L, 3, RIBPH_PRINT_L, RIBPH_WIND_Y, 4, 3};

// The sub stepper's ramps of the colour planes and of SP.
CRampTable* const kSubRamps[PRINT_PLANES] = {&g_Ramp33, &g_Ramp34, &g_Ramp35, &g_Ramp36, &g_Ramp37};

bool PaperEnd() { return IsEventPending(EV_PAPER_END); }
bool RollEnd() { return g_ulRollEndDetected != 0; }
uint32_t UnitBit(uint32_t ulUnit) { return ulUnit == 0 ? 1u : 2u; }

// The THV object of a colour pass.
CThvCnt* PassThv(uint32_t ulPassIndex, bool bMatte) {
  switch (ulPassIndex) {
    case 0:
      return g_pCurThvY;
    case 1:
      return g_pCurThvM;
    case 2:
      return g_pCurThvC;
    default:
      return bMatte ? g_pCurThvMatte : g_pCurThvOP;
  }
}

// The humidity-corrected walk of a head voltage to its target: the walk's
// last answer other than 1 (still walking), or the correction's failure.
int32_t WalkHeadVoltage(CThvCnt* pThv, uint32_t ulIndex) {
  int32_t lResult = CorrectTHVHumid(pThv, ulIndex);
  if (lResult != 0) return lResult;
  lResult = pThv->StartStepToTarget();
  if (lResult != 0) return lResult;
  do {
    lResult = pThv->StepToTarget();
  } while (lResult == 1);
  return lResult;
}

// Idle or de-energised: a stepper that a stop left de-energised is as
// still as one that ended its move.
bool StepperStill(const CStpmtr& motor) {
  int32_t lState = -1;
  motor.GetState(&lState);
  return lState == STPMTR_IDLE || lState == STPMTR_STOPPED;
}

}  // namespace

// ---- the variants ----
// clang-format off
const PrintSheetVariant g_ColorSheetVariant = {
    0, true, true, true, true, true, true, true, true, false, false, 0, 40, PRINTER_STATE_PRINTING};
const PrintSheetVariant g_ColorSheetMarkSenVariant = {
    0, false, true, true, false, false, false, false, false, true, true, kBackFeedSettleMs, 45,
    PRINTER_STATE_PRINTING};
const PrintSheetVariant g_SinglePassSheetVariant = {
    1, true, false, false, false, false, false, false, false, false, true, 0, 0, PRINTER_STATE_PRINT_6D};
// clang-format on

CPrintSheetRun::CPrintSheetRun(const PrintSheetVariant& variant, uint32_t ulImageUnit, uint32_t ulMask)
    : m_variant(variant), m_ulImageUnit(ulImageUnit), m_ulMask(ulMask), m_ulMoveMask(ulMask | SEQ_CHECK_PAPER_END) {}

int32_t CPrintSheetRun::Run() {
  if (Prologue() != 0) return -1;
  SeqStepState s{0, kStepStart, 0};
  while (!m_bDone) {
    const uint32_t ulNext = Step(s);
    StepAdvance(s, ulNext, SEQ_STEP_ERROR, m_ulMask);
  }
  Exit();
  return s.lResult;
}

int32_t CPrintSheetRun::Prologue() {
  ShowPrintingUnit();
  g_PrintLine.SetLastTableBank(kAllOnes);
  m_ulCisOn = SettingValue(g_ParamCisSW) != 0 ? 1u : 0u;
  m_ulUnit = GetCurrentUnit();
  m_ulFeedRollDiam = SettingValue(g_ParamFeedRollDiam) == 1 ? 1u : 0u;
  const int32_t lJob = m_variant.bMergedJob ? g_PrintJobQueue.GetCurrentJob(&m_pJob)
                                            : g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &m_pJob);
  if (lJob != 0 || m_pJob == nullptr) return -1;
  if (g_PrintJobQueue.GetOrderedSlot(m_pJob, &m_pSlot, kSlotOfCurrentRow) != 0 || m_pSlot == nullptr) return -1;
  // A picture's own size is known once it is attached (step 1).
  m_pSize = m_pJob->pPrintSize;
  m_pSlot->usSlotState = SLOT_STARTED;
  PublishJobStatus(&g_PrintJobQueue);
  if (m_variant.bSheetLog) {
    g_PrintLog.SetField(kOvercoatLogKey, Matte() ? 2u : 1u);
    g_pRibbonRoll->GetDiameter(0, &m_ulRibbonDiameter);
    LogRibbonState();
  } else {
    g_pRibbonRoll->GetDiameter(0, &m_ulRibbonDiameter);
  }
  return 0;
}

void CPrintSheetRun::Exit() {
  g_ulSpeedModOn = 0;
  // A single pass that ended before its panel search started must not
  // leave the ribbon drive's single-pass rules on for the next sheet.
  if (m_variant.ulPlaneKind == 1) g_ulSinglePass = 0;
  if (m_variant.bDspImageSteps) EndDspImageJob();
}

uint32_t CPrintSheetRun::Step(SeqStepState& s) {
  using StageStep = uint32_t (CPrintSheetRun::*)(SeqStepState&, bool&);
  static constexpr StageStep kStages[] = {
      &CPrintSheetRun::ImageWaitStep, &CPrintSheetRun::PositioningStep, &CPrintSheetRun::ConditioningStep,
      &CPrintSheetRun::PassStep,      &CPrintSheetRun::StretchStep,     &CPrintSheetRun::PassEndStep,
      &CPrintSheetRun::SheetEndStep,
  };
  for (StageStep stage : kStages) {
    bool bKnown = true;
    const uint32_t ulNext = (this->*stage)(s, bKnown);
    if (bKnown) return ulNext;
  }
  // A step without a row.
  s.lResult = -1;
  return SEQ_STEP_ERROR;
}

// ---- helpers ----
bool CPrintSheetRun::OvercoatOnly() const { return m_variant.bOvercoatOnly && m_pSlot->usOvercoatOnly != 0; }
bool CPrintSheetRun::Matte() const { return m_pSlot->usOvercoatKind == OVERCOAT_MATTE; }

bool CPrintSheetRun::ImageReceived() const {
  return (m_variant.ulPlaneKind == 0 ? g_PrintJobQueue.IsColorSlotReceived(m_pJob, m_ulImageUnit)
                                     : g_PrintJobQueue.IsSpSlotReceived(m_pJob, m_ulImageUnit)) == 0;
}

bool CPrintSheetRun::ImageComplete() const {
  return (m_variant.ulPlaneKind == 0 ? g_PrintJobQueue.IsColorSlotComplete(m_pJob, m_ulImageUnit)
                                     : g_PrintJobQueue.IsSpSlotComplete(m_pJob, m_ulImageUnit)) == 0;
}

bool CPrintSheetRun::CancelAsked() const { return (m_pJob->usCancelRequest & kCancelWaiting) != 0; }

bool CPrintSheetRun::WaitTimedOut() const { return g_MsTimer.NowMs() - m_ulWaitStart > kImageWaitMs; }

void CPrintSheetRun::CancelForTimeOut() {
  m_pJob->usCancelRequest |= CANCEL_INCOMPLETE_ROWS;
  if (!m_variant.bCancelReceiving || g_ulPrintMode != ::PRINT_MODE_MULTI_UP) return;
  PrintJobRecord* pReceiving = nullptr;
  if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_RECEIVING, &pReceiving) == 0 && pReceiving != nullptr) {
    pReceiving->usCancelRequest |= CANCEL_INCOMPLETE_ROWS;
  }
}

uint32_t CPrintSheetRun::CurrentLine() const {
  uint32_t ulLine = 0;
  g_PaperPosition.GetCurrentPoint(&ulLine);
  return ulLine;
}

int32_t CPrintSheetRun::MoveToTarget(uint32_t ulSubProfile) {
  return MovePaperToEx(m_ulTarget, kTargetToCisLines, 1, 1, 1, m_ulMainProfile, ulSubProfile, m_ulFeedDrive,
                       m_ulMoveMask);
}

int32_t CPrintSheetRun::MoveToPrintStart(uint32_t ulSubProfile) {
  const int32_t lResult = MovePaperToEx(m_ulStartLine, m_lFeedLines, 1, 1, 1, m_ulMainProfile, ulSubProfile,
                                        m_ulFeedDrive, m_ulMoveMask);
  g_PaperPosition.SetCurrentPoint(static_cast<uint32_t>(static_cast<int32_t>(m_ulStartLine) + g_lPrintStartFeed));
  return lResult;
}

int32_t CPrintSheetRun::MeasuredMove(int32_t lLines) {
  const int32_t lResult = MovePaperMeasureRoll(lLines, 1, 1, m_ulMainProfile, m_ulFeedDrive, m_ulMoveMask);
  g_ulRepeatState = 2;
  return lResult;
}

// A roll-encoder check with the CIS reading the paper edge: 0, -1 when the
// edge was not found, or the check's failure.
int32_t CPrintSheetRun::ReadEdge(uint32_t* pulEdge, uint32_t* pulLine, uint32_t ulLogKey) {
  *pulLine = CurrentLine();
  uint32_t ulRollEnd = 0;
  int32_t lEdgeError = 0;
  const int32_t lResult = RollEncoderFeedCheck(&ulRollEnd, ROLL_CHECK_PAPER_EDGE, pulEdge, nullptr, &lEdgeError,
                                               m_ulMask);
  g_PrintLog.SetField(ulLogKey, *pulEdge);
  if (lResult != 0) return lResult;
  return lEdgeError == -1 ? -1 : 0;
}

// Step 3910: the head's paper edge from the two readings; the next step.
uint32_t CPrintSheetRun::CalcHeadEdge() {
  const int32_t lDistance = static_cast<int32_t>(m_ulEdgeLine2 - m_ulEdgeLine1);
  if (g_Cis.CalcHeadPointPaperEdge(m_ulImageUnit, m_ulEdge1, m_ulEdge2, lDistance) == 0) {
    g_lCisEdgeResult = 0;
    g_Cis.GetHeadPointPaperEdge(m_ulImageUnit, &m_ulHeadEdge);
    m_lSideCheck = g_Cis.CheckCisSideOffset(m_ulUnit, m_ulHeadEdge);
    g_PrintGeometry.SetTrackPoint(m_ulUnit, static_cast<int32_t>(m_ulHeadEdge));
  } else {
    g_lCisEdgeResult = -1;
    (m_ulUnit == 0 ? g_ParamSideOffsetL : g_ParamSideOffsetR).SetValue(0);
    g_PrintGeometry.SetTrackPoint(m_ulUnit, static_cast<int32_t>(kDefaultHeadEdge));
  }
  syslog(LOG_EMERG,
         m_ulUnit == 0 ? "[CIS]L:PaperEdge1=%d, PaperEdge2=%d, 1-2Length=%d, TphPaperEdge=%d "
                       : "[CIS]R:PaperEdge1=%d, PaperEdge2=%d, 1-2Length=%d, TphPaperEdge=%d ",
         static_cast<int32_t>(m_ulEdge1), static_cast<int32_t>(m_ulEdge2), lDistance,
         static_cast<int32_t>(m_ulHeadEdge));
  if (m_lSideCheck == -1 && m_ulEdgeRetried == 0) {
    m_ulEdgeRetried = 1;
    return 3900;
  }
  return 10;
}

void CPrintSheetRun::SetInitialPass() {
  if (m_variant.ulPlaneKind == 1) {
    m_pass.ulPlaneCode = PLANE_SP;
    m_pass.ulPassIndex = SP_PASS_INDEX;
    m_pass.ulPrintPhase = SP_PRINT_PHASE;
    m_pass.ulHeldWindPhase = SP_HELD_WIND_PHASE;
    m_pass.ulSpeedProfile = SP_SPEED_PROFILE;
    g_ulPrintLogColor = 0;
    g_ulSinglePass = 1;
    return;
  }
  const InitialPass& p = OvercoatOnly() ? kOvercoatOnlySheet : kNormalSheet;
  m_pass.ulPlaneCode = p.ulPlaneCode;
  m_pass.ulPassIndex = p.ulPassIndex;
  m_pass.ulPrintPhase = p.ulPrintPhase;
  m_pass.ulHeldWindPhase = p.ulHeldWindPhase;
  m_pass.ulSpeedProfile = p.ulSpeedProfile;
  g_ulPrintLogColor = p.ulLogColor;
}

// Step 24: the planes' sub-stepper ramps, by the paper's speed, or after a
// roll end following the main stepper's ramps.
int32_t CPrintSheetRun::BuildSubStepperRamps() {
  const bool bSinglePass = m_variant.ulPlaneKind == 1;
  const uint32_t ulFirst = bSinglePass ? PLANE_SP : PLANE_Y;
  const uint32_t ulLast = bSinglePass ? PLANE_SP : PLANE_L;
  for (uint32_t ulPlane = ulFirst; ulPlane <= ulLast; ++ulPlane) {
    if (RollEnd()) {
      FollowMainStepperRamp(ulPlane);
    } else {
      BuildSubStepperRamp(ulPlane);
    }
  }
  m_ulSubStepMode = RollEnd() ? (bSinglePass ? 4u : 2u) : 3u;
  return 0;
}

// Steps 114 and 225.
int32_t CPrintSheetRun::StartSubStepperRamp() {
  m_ulRampStarted = 1;
  g_StpmtrSub.SetCountdown(kAllOnes);
  return RunAlongRamp(g_StpmtrSub, kSubRamps[m_pass.ulPlaneCode], 0, m_ulSubStepMode, 0);
}

// Steps 119 and 280: the reverse clutch off once the plane passed its
// mark, except where the engine's mode 2 keeps it for a large supply.
void CPrintSheetRun::ReleaseReverseClutch() {
  const bool bKeep = m_variant.ulClutchKeepDiameter != 0 && g_ulEngModeA == 2 &&
                     m_ulRibbonDiameter > m_variant.ulClutchKeepDiameter;
  if (!bKeep) g_pCurClutchRibRvs->Off();
  m_ulReleasePending = 0;
}

int32_t CPrintSheetRun::StepDonor() {
  uint32_t ulDone = 0;
  return g_pDonorMng->Step(&ulDone);
}

// Both paper steppers stopped: the eject motor stops, and paper still at
// the position sensor is a jam (lResult -1).
bool CPrintSheetRun::SteppersStopped(int32_t& lResult) {
  g_ulSpeedModOn = 0;
  if (!StepperStill(g_StpmtrMain) || !StepperStill(g_StpmtrSub)) return false;
  g_EjectMotor.Stop();
  uint32_t ulAtSensor = 0;
  g_AdPosition.GetState(&ulAtSensor);
  if (ulAtSensor == 1) {
    g_ErrorMng.SetError(g_ulCurErrUpperJam62);
    lResult = -1;
  }
  return true;
}

void CPrintSheetRun::RecordSubSteps(uint32_t ulEntry) {
  uint32_t ulCountdown = 0;
  g_StpmtrSub.GetCountdown(&ulCountdown);
  g_aulPlaneSubSteps[ulEntry] = kAllOnes - ulCountdown;
}

// Steps 500 (SP) and 610: the ribbon's counts of the sheet, the slot taken
// off the pending mask, the plane ended and counted.
int32_t CPrintSheetRun::EndSheetCounts() {
  const PrintSizeRecord& size = *g_pCurPrintSize;
  g_pDonorMng->SetLastPrintCounts(m_ulRearStartCount - m_ulImageStartCount,
                                  size.ulOvercoatLength + BothMarginLines(size));
  if (m_variant.ulPlaneKind == 0) {
    g_pRibbonRoll->ConsumePrint();
    g_pRibbonRoll->UpdateRemainPercent();
    g_pRibbonRoll->MeasureDiameter(0, m_ulSupplyTravel);
    g_pRibbonRoll->MeasureDiameter(1, m_ulTakeUpTravel);
  }
  g_PrintJobQueue.StartSlotPrint();
  g_PrintLine.EndPlane();
  return CountPlaneStatistics(m_variant.ulPlaneKind, size);
}

// ---- steps 0 and the image wait ----
uint32_t CPrintSheetRun::ImageWaitStep(SeqStepState& s, bool& bKnown) {
  const uint32_t ulAfterImage = OvercoatOnly() ? 5000u : 1u;
  if (m_variant.bExpectedImageWait) {
    switch (s.ulStep) {
      case 1001:
        return ImageReceived() ? 1010u : 1002u;
      case 1002: {
        const bool bExpected = g_PrintJobQueue.IsColorSlotExpected(m_pJob, m_ulImageUnit) == 0;
        return bExpected ? 1003u : 1020u;
      }
      case 1003:
        return WaitTimedOut() ? 1005u : 1004u;
      case 1004:
        return CancelAsked() ? SEQ_STEP_END : 1001u;
      case 1005:
        CancelForTimeOut();
        return SEQ_STEP_END;
      case 1010:
        return ulAfterImage;
      case 1020:
        // The image is not this unit's: the entry is passed over.
        s.lResult = g_PrintJobQueue.StartSlotPrint();
        return SEQ_STEP_END;
      default:
        break;
    }
  } else {
    switch (s.ulStep) {
      case 1001:
        return ImageReceived() ? 1u : 1002u;
      case 1002:
        return WaitTimedOut() ? 1004u : 1003u;
      case 1003:
        return CancelAsked() ? SEQ_STEP_END : 1001u;
      case 1004:
        CancelForTimeOut();
        return SEQ_STEP_END;
      default:
        break;
    }
  }
  switch (s.ulStep) {
    case 0:
      s.lResult = SetStatusItem(SI_PRINTER_STATE, m_variant.ulStartState, 1);
      return OvercoatOnly() ? 5000u : 1000u;
    case 5000:
      s.lResult = OvercoatOnlyPreStep(m_pSlot, m_ulMask);
      return PaperEnd() ? SEQ_STEP_ERROR : 1u;
    case 1000:
      m_ulWaitStart = g_MsTimer.NowMs();
      return 1001;
    default:
      bKnown = false;
      return 0;
  }
}

// ---- steps 1 to 9 and 2000 to 3910: the paper to its print start ----
uint32_t CPrintSheetRun::PositioningStep(SeqStepState& s, bool& bKnown) {
  switch (s.ulStep) {
    case 1: {
      const bool bMultiUp = m_variant.bMergedJob && g_ulPrintMode == ::PRINT_MODE_MULTI_UP;
      if (m_variant.bSizeFromSlot && !bMultiUp) m_pSize = m_pSlot->pParams;
      if (m_pSize == nullptr) {
        s.lResult = -1;
        return SEQ_STEP_ERROR;
      }
      uint16_t usCutOffset = 0;
      g_PrintJobQueue.GetCutOffset(m_pJob, &usCutOffset);
      const PrintSizeRecord& size = *m_pSize;
      uint32_t ulLines = OvercoatOnly() ? size.aulFrontDummyLines[PLANE_L] : g_ulRibDummyLines + size.ulFrontExtraLines;
      ulLines += size.ulPrintLength + ColourExtraFeedLines(size) + BothMarginLines(size) + usCutOffset;
      m_lSheetLines = static_cast<int32_t>(ulLines);
      m_ulStartLine = CurrentLine();
      m_lFeedLines = m_lSheetLines - (static_cast<int32_t>(m_ulStartLine) - kSheetReferenceLine);
      g_lPrintStartFeed = m_lFeedLines;
      return 2;
    }
    case 2:
      g_lSensorOffsetLines = 0;
      m_lCorrectionLines = 0;
      if (g_ulPathPrepared == 1) {
        GetSensorOffsetLines(&m_lCorrectionLines);
        m_lFeedLines -= m_lCorrectionLines;
        g_lSensorOffsetLines = m_lCorrectionLines;
      }
      return 4;
    case 4:
      s.lResult = MoveMainPinch(kMainPinchDown, m_ulMask);
      return 5;
    case 5: {
      m_ulTarget = m_ulUnit == 0 ? kTargetLineUnitL : kTargetLineUnitR;
      const PositioningProfiles& p = kPositioningProfiles[m_ulFeedRollDiam];
      m_ulMainProfile = p.ulMain;
      m_ulSubProfile = p.ulSub;
      m_ulLoadSubProfile = p.ulLoadSub;
      m_ulFeedDrive = p.ulFeedDrive;
      return m_ulCisOn == 0 ? 3000u : 2000u;
    }
    // The paper to the CIS measuring point.
    case 2000:
      s.lResult = RaiseTrackingPoint(m_ulTarget + kTargetToCisLines - g_ulEngPosRefA);
      return 2005;
    case 2005:
      m_ulPositionLine = CurrentLine();
      return m_ulPositionLine > m_ulTarget + kTargetToCisLines ? 2015u : 2010u;
    case 2010:
      s.lResult = MoveFeedPinch(kFeedPinchDown, m_ulMask);
      return g_ulRepeatState == 1 ? 2100u : 2150u;
    case 2015:
      g_pCurClutchRibRvs->On();
      s.lResult = MoveFeedPinch(kFeedPinchUp, m_ulMask);
      return RollEnd() ? 2200u : 2150u;
    case 2100:
      s.lResult = MeasuredMove(static_cast<int32_t>(m_ulTarget + kTargetToCisLines - m_ulPositionLine));
      return PaperEnd() ? SEQ_STEP_ERROR : 2300u;
    case 2150:
      s.lResult = MoveToTarget(m_ulSubProfile);
      return 2300;
    case 2200:
      s.lResult = g_ClutchLoad.On();
      return 2210;
    case 2210:
      s.lResult = MoveLoadPinch(kLoadPinchDown, m_ulMask);
      return 2220;
    case 2220:
      s.lResult = MoveToTarget(m_ulLoadSubProfile);
      return 2230;
    case 2230:
      s.lResult = g_ClutchLoad.Off();
      return 2240;
    case 2240:
      s.lResult = MoveLoadPinch(kLoadPinchUp, m_ulMask);
      return 2300;
    case 2300:
      g_pCurClutchRibRvs->Off();
      s.lResult = ReadEdge(&m_ulEdge1, &m_ulEdgeLine1, kPaperEdgeLogKey1);
      return PaperEnd() ? SEQ_STEP_ERROR : 3000u;
    // The paper to the print start.
    case 3000:
      m_ulMeasuredLine = 0;
      return g_ulRepeatState == 1 ? 3100u : 3010u;
    case 3010: {
      const int32_t lOffset = static_cast<int32_t>(CurrentLine()) - kSheetReferenceLine;
      const int32_t lLimit = m_lSheetLines - (g_ulPathPrepared == 1 ? m_lCorrectionLines : 0);
      return lOffset > lLimit ? 3030u : 3020u;
    }
    case 3020:
      s.lResult = MoveFeedPinch(kFeedPinchDown, m_ulMask);
      return 3300;
    case 3030:
      g_pCurClutchRibRvs->On();
      s.lResult = MoveFeedPinch(kFeedPinchUp, m_ulMask);
      return RollEnd() ? 3200u : 3300u;
    case 3100:
      s.lResult = MoveFeedPinch(kFeedPinchDown, m_ulMask);
      return m_lFeedLines > kMeasuredFeedLines ? 3110u : 3120u;
    case 3110:
      s.lResult = MeasuredMove(m_lFeedLines);
      g_PaperPosition.SetCurrentPoint(static_cast<uint32_t>(static_cast<int32_t>(m_ulStartLine) + g_lPrintStartFeed));
      return PaperEnd() ? SEQ_STEP_ERROR : 3400u;
    case 3120:
      s.lResult = MeasuredMove(kMeasuredFeedLines);
      m_ulMeasuredLine = CurrentLine();
      return PaperEnd() ? SEQ_STEP_ERROR : 3130u;
    case 3130:
      g_pCurClutchRibRvs->On();
      s.lResult = MoveFeedPinch(kFeedPinchUp, m_ulMask);
      return 3140;
    case 3140:
      s.lResult = SeqWaitMs(kReverseClutchSettleMs, m_ulMask);
      return RollEnd() ? 3200u : 3300u;
    case 3200:
      s.lResult = g_ClutchLoad.On();
      return 3210;
    case 3210:
      s.lResult = MoveLoadPinch(kLoadPinchDown, m_ulMask);
      return 3215;
    case 3215:
      s.lResult = MoveToPrintStart(m_ulLoadSubProfile);
      return 3220;
    case 3220:
      s.lResult = g_ClutchLoad.Off();
      return 3225;
    case 3225:
      s.lResult = MoveLoadPinch(kLoadPinchUp, m_ulMask);
      return 3400;
    case 3300:
      s.lResult = MoveToPrintStart(m_ulSubProfile);
      return 3400;
    case 3400: {
      const uint32_t ulLine = m_ulMeasuredLine != 0 ? m_ulMeasuredLine : CurrentLine();
      s.lResult = RaiseTrackingPoint(ulLine - g_ulEngPosRefA);
      return 7;
    }
    case 7:
      s.lResult = g_pCurClutchRibRvs->Off();
      return 8;
    case 8:
      return m_ulCisOn == 0 ? 9u : 3900u;
    case 9: {
      uint32_t ulRollEnd = 0;
      s.lResult = RollEncoderFeedCheck(&ulRollEnd, ROLL_CHECK_NO_CIS, nullptr, nullptr, nullptr, m_ulMask);
      return PaperEnd() ? SEQ_STEP_ERROR : 10u;
    }
    case 3900:
      s.lResult = ReadEdge(&m_ulEdge2, &m_ulEdgeLine2, kPaperEdgeLogKey2);
      return PaperEnd() ? SEQ_STEP_ERROR : kStepEdgeCalc;
    case kStepEdgeCalc:
      return CalcHeadEdge();
    default:
      bKnown = false;
      return 0;
  }
}

// ---- steps 10 to 45: the head conditioned before the first pass ----
uint32_t CPrintSheetRun::ConditioningStep(SeqStepState& s, bool& bKnown) {
  switch (s.ulStep) {
    case 10:
      g_PreheatL.Stop();
      s.lResult = g_PreheatR.Stop();
      return 11;
    case 11:
      m_ulWaitStart = g_MsTimer.NowMs();
      return 12;
    case 12:
      return ImageComplete() ? 20u : 13u;
    case 13:
      return WaitTimedOut() ? 15u : 14u;
    case 14:
      return CancelAsked() ? SEQ_STEP_END : 12u;
    case 15:
      CancelForTimeOut();
      return SEQ_STEP_END;
    case 20:
      g_pCurFanHead->On();
      s.lResult = g_pCurFanSide->On();
      return 21;
    case 21:
      s.lResult = g_PlaneSequencer.StartPlane(m_variant.ulPlaneKind, m_ulImageUnit);
      return 23;
    case 23:
      SetInitialPass();
      return 24;
    case 24:
      s.lResult = BuildSubStepperRamps();
      return 25;
    case 25:
      for (uint32_t ulPlane = 0; ulPlane < PRINT_PLANES; ++ulPlane) {
        if ((ulPlane == PLANE_SP) == (m_variant.ulPlaneKind == 1)) {
          g_aulPlaneSubSteps[ulPlane] = 0;
          g_aulPlaneLines[ulPlane] = 0;
        }
      }
      return 26;
    case 26:
      s.lResult = HeadFanControl(1);
      return 27;
    case 27:
      s.lResult = CoolingWaitSequence(static_cast<uint32_t>(SettingValue(g_ParamTProtectOn)),
                                      static_cast<uint32_t>(SettingValue(g_ParamTProtectOff)), 0, m_ulMask);
      return 28;
    case 28:
      s.lResult = HeadFanControl(1);
      return 30;
    case 30:
      return g_ulPreheatWaited == 1 ? 40u : 35u;
    case 35:
      s.lResult = PreheatWaitSequence(m_ulMask, 1);
      g_ulPreheatWaited = 1;
      return 40;
    case 40:
      g_ulRibbonCheckPending |= UnitBit(m_ulUnit);
      return m_variant.ulPlaneKind == 1 ? 45u : kStepPassStart;
    case 45:
      s.lResult = WalkHeadVoltage(g_pCurThvSP, 5);
      return kStepPassStart;
    default:
      bKnown = false;
      return 0;
  }
}

// ---- steps 50 to 112: a pass up to the start of its print move ----
uint32_t CPrintSheetRun::PassStep(SeqStepState& s, bool& bKnown) {
  switch (s.ulStep) {
    case kStepPassStart:
      s.lResult = HeadFanControl(1);
      m_ulRampStarted = 0;
      if (m_variant.ulPlaneKind == 1) return 65;
      return m_pass.ulPassIndex == 3 ? 51u : 60u;
    case 51:
      return Matte() ? 52u : 60u;
    case 52:
      return SettingValue(g_ParamTProtectLSW) != 0 ? 55u : 60u;
    case 55: {
      const uint32_t ulLevel = static_cast<uint32_t>(SettingValue(g_ParamTProtectLLv));
      s.lResult = CoolingWaitSequenceL(ulLevel, ulLevel, 1, m_ulMask);
      return 60;
    }
    case 60:
      m_pass.pThv = PassThv(m_pass.ulPassIndex, Matte());
      return 61;
    case 61:
      s.lResult = WalkHeadVoltage(m_pass.pThv, m_pass.ulPassIndex);
      return m_variant.bDspImageSteps ? 62u : 65u;
    case 62:
      if (m_pass.ulPassIndex == 0) {
        s.lResult = SetupDspPlaneBuffers();
      } else if (m_pass.ulPassIndex == 3) {
        s.lResult = WaitDspImageJob();
      } else {
        s.lResult = EndDspImageJob();
      }
      return 65;
    case 65:
      s.lResult = g_pCurClutchRibRvs->On();
      return m_variant.bMarkRibbonWind ? 66u : 70u;
    case 66:
      s.lResult = WindMarkRibbonToPanel(*m_pSize, m_pass.ulPlaneCode, m_ulMask);
      return 70;
    case 70:
      s.lResult = g_PlaneSequencer.PlanPlane(static_cast<uint16_t>(m_pass.ulPassIndex));
      return 75;
    case 75:
      s.lResult = GetPlaneStatusCodes(m_pass.ulPlaneCode, &m_pass.ulPrintingState, &m_pass.ulDoneState);
      return 80;
    case 80:
      s.lResult = SetStatusItem(SI_PRINTER_STATE, m_pass.ulPrintingState, 1);
      return 85;
    case 85:
      s.lResult = g_PlaneSequencer.GetTotalLines(&g_aulPlaneLines[m_pass.ulPlaneCode]);
      return 90;
    case 90:
      s.lResult = MoveFeedPinch(kFeedPinchUp, m_ulMask);
      return 91;
    case 91:
      s.lResult = HeadFanControl(0);
      return RollEnd() ? 92u : 95u;
    case 92:
      s.lResult = MoveLoadPinch(kLoadPinchDown, m_ulMask);
      return 93;
    case 93:
      s.lResult = g_ClutchLoad.On();
      return 95;
    case 95:
      s.lResult = MoveHeadUnit(kHeadDown, m_ulMask);
      return m_variant.bMarkRibbonWind ? 96u : 100u;
    case 96:
      s.lResult = SeqWaitMs(static_cast<uint32_t>(SettingValue(g_ParamWaitMs)), m_ulMask);
      return 100;
    case 100: {
      uint32_t ulSteps = 0;
      s.lResult = g_PlaneSequencer.GetTotalSteps(&ulSteps);
      m_lPrintMove = -static_cast<int32_t>(ulSteps);
      m_ulReleasePending = 1;
      return 101;
    }
    case 101:
      g_PaperPosition.SetParam(PAPER_PARAM_NO_STOP, 0);
      g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE,
                               m_variant.ulPlaneKind == 1 ? kSinglePassExcitation : kPrintExcitation);
      g_PaperPosition.SetParam(PAPER_PARAM_SUB_STEP_MODE, kPrintSubStepMode);
      g_PaperPosition.SetParam(PAPER_PARAM_MAIN_PROFILE, m_pass.ulSpeedProfile);
      s.lResult = g_PaperPosition.SetParam(PAPER_PARAM_SUB_PROFILE, kSubProfileNone);
      return 102;
    case 102:
      m_ulSensorCheckDone = 0;
      s.lResult = GetPassSensorWindow(m_pass.ulPassIndex, &m_ulSensorWindow, kSensorWindowMargin);
      return 103;
    case 103:
      m_ulCountdownStart = kCountdownStart;
      s.lResult = g_StpmtrMain.SetCountdown(m_ulCountdownStart);
      return 109;
    case 109:
      s.lResult = g_pDonorMng->StartPanelSearch(m_pass.ulPrintPhase);
      if (m_variant.ulPlaneKind == 1) g_ulSinglePass = 0;
      return 110;
    case 110:
      s.lResult = g_pCurJamCheckRibbon->Start(1, g_ulCurErrRibbonEmpty);
      return 111;
    case 111:
      m_ulSensorCheckDone = 0;
      return 112;
    case 112:
      if (m_pass.ulPlaneCode == PLANE_L) {
        s.lResult = g_PaperPosition.MoveTo(static_cast<int32_t>(g_ulEngPosRefA), kLeadInMarginLines);
      } else if (m_variant.ulPlaneKind == 1) {
        s.lResult = g_PaperPosition.MoveSteps(m_lPrintMove);
      } else {
        uint32_t ulLeadIn = 0;
        g_PlaneSequencer.GetPaperReturnSteps(kLeadInMarginLines, &ulLeadIn);
        s.lResult = g_PaperPosition.MoveSteps(m_lPrintMove - static_cast<int32_t>(ulLeadIn));
      }
      g_ulSpeedModOn = 1;
      return 113;
    default:
      bKnown = false;
      return 0;
  }
}

// ---- steps 113 to 307: the three stretches of the plane, polled ----
uint32_t CPrintSheetRun::StretchStep(SeqStepState& s, bool& bKnown) {
  const bool bFlag = g_usPlaneLineFlag == 1 && m_ulRampStarted == 0;
  const uint32_t ulStretch = m_ulPlaneState & kStretchMask;
  const bool bMark = (m_ulPlaneState & PLANE_STATE_MARK) != 0;
  switch (s.ulStep) {
    // Lead-in.
    case 113:
      return bFlag ? 114u : 115u;
    case 114:
      s.lResult = StartSubStepperRamp();
      return 115;
    case 115:
      s.lResult = g_PlaneSequencer.GetState(&m_ulPlaneState);
      return 116;
    case 116:
      s.lResult = g_pCurJamCheckRibbon->CheckStall();
      return 117;
    case 117:
      if (m_variant.bDonorSteps) s.lResult = StepDonor();
      return bMark ? 118u : 120u;
    case 118:
      return m_ulReleasePending != 0 ? 119u : 120u;
    case 119:
      ReleaseReverseClutch();
      return 120;
    case 120:
      return ulStretch == PLANE_STATE_LEAD_IN ? 113u : 200u;
    // Image.
    case 200:
      s.lResult = g_pCurSlitRibEncSrc->ReadCount(&m_ulImageStartCount);
      if (m_pass.ulPlaneCode == PLANE_L && m_ulRibbonMeasured == 0) {
        m_ulRibbonMeasured = 1;
        g_pCurSlitRibEncDst->Start();
        s.lResult = MeasureRibbonVsPaper(&m_ulSupplyTravel, &m_ulTakeUpTravel, m_ulMask);
        g_pCurSlitRibEncDst->Stop();
      }
      return 210;
    case 210:
      s.lResult = g_pCurJamCheckRibbon->Start(0, g_ulCurErrRibbonEmpty);
      return 220;
    case 220:
      return bFlag ? 225u : 230u;
    case 225:
      s.lResult = StartSubStepperRamp();
      return 230;
    case 230:
      s.lResult = g_PlaneSequencer.GetState(&m_ulPlaneState);
      return 240;
    case 240:
      s.lResult = g_pCurJamCheckRibbon->CheckStall();
      return m_variant.bDonorSteps ? 245u : 250u;
    case 245:
      s.lResult = StepDonor();
      return 250;
    case 250:
      return m_ulSensorCheckDone != 0 ? 290u : 260u;
    case 260:
      s.lResult = CheckSensorHeldDuringFeed(&g_AdPosition, 1, m_ulSensorCheckDone, m_ulCountdownStart,
                                            m_ulSensorWindow, m_ulStepsMoved, g_ulCurErrUpperJam66);
      return bMark ? 270u : 290u;
    case 270:
      return m_ulReleasePending != 0 ? 280u : 290u;
    case 280:
      ReleaseReverseClutch();
      return 290;
    case 290:
      return ulStretch == PLANE_STATE_IMAGE ? 220u : 300u;
    // Run-out.
    case 300:
      g_pCurSlitRibEncSrc->ReadCount(&m_ulRearStartCount);
      s.lResult = g_pCurJamCheckRibbon->Start(0, g_ulCurErrRibbonEmpty);
      return 301;
    case 301:
      s.lResult = g_PlaneSequencer.GetState(&m_ulPlaneState);
      return 302;
    case 302:
      // A stall is an error, except that the overcoat's run-out only ends.
      return g_pCurJamCheckRibbon->CheckStall() != 0 ? 303u : 306u;
    case 303:
      return m_pass.ulPlaneCode == PLANE_L ? 305u : 304u;
    case 304:
      s.lResult = -1;
      return SEQ_STEP_ERROR;
    case 305:
      return 400;
    case 306:
      if (m_variant.bDonorSteps) s.lResult = StepDonor();
      return ulStretch == PLANE_STATE_RUN_OUT ? 301u : 400u;
    default:
      bKnown = false;
      return 0;
  }
}

// ---- steps 400 to 600: the end of a pass, the wind and the back-feed ----
uint32_t CPrintSheetRun::PassEndStep(SeqStepState& s, bool& bKnown) {
  const bool bSinglePass = m_variant.ulPlaneKind == 1;
  const bool bWindEndsByState = !m_variant.bMarkRibbonWind;
  // The single pass has no back-feed: its end of sheet is step 500.
  const bool bBackFeedRow = (s.ulStep >= 490 && s.ulStep <= 600) && s.ulStep != 500;
  if (bSinglePass && bBackFeedRow) {
    bKnown = false;
    return 0;
  }
  switch (s.ulStep) {
    case 400:
      s.lResult = g_pDonorMng->StopRibbon(1, 0);
      return 401;
    case 401:
      s.lResult = g_PrintLine.StopPrint();
      return 402;
    case 402:
      s.lResult = MoveHeadUnit(kHeadUp, m_ulMask);
      if (!m_variant.bStepperTestAfterHeadUp) return 403;
      return m_variant.ulHeadUpSettleMs != 0 ? 4025u : 403u;
    case 4025:
      if (m_variant.ulHeadUpSettleMs == 0) break;
      s.lResult = SeqWaitMs(m_variant.ulHeadUpSettleMs, m_ulMask);
      return 403;
    case 403:
      if (!m_variant.bStepperTestAfterHeadUp) {
        s.lResult = HeadFanControl(0);
        return kStepWindAfterPass;
      }
      return SteppersStopped(s.lResult) ? 4035u : 403u;
    case 4035:
      if (!m_variant.bStepperTestAfterHeadUp) break;
      s.lResult = HeadFanControl(0);
      return kStepWindAfterPass;
    case kStepWindAfterPass:
      if (bSinglePass || g_ulEngModeA == 1) g_pCurClutchRibRvs->Off();
      m_pass.ulWindPhase = m_pass.ulHeldWindPhase;
      s.lResult = GetNextPassCodes(m_pass.ulPlaneCode, &m_pass.ulPassIndex, &m_pass.ulPrintPhase,
                                   &m_pass.ulHeldWindPhase, &m_pass.ulSpeedProfile);
      if (m_variant.bStepperTestAfterHeadUp) RecordSubSteps(bSinglePass ? PLANE_Y : m_pass.ulPlaneCode);
      return 405;
    case 405:
      if (bSinglePass) return 500;
      g_pCurSlitRibEncSrc->Start();
      s.lResult = g_pDonorMng->SetRibbonPhase(m_pass.ulWindPhase, 1);
      return 406;
    case 406: {
      uint32_t ulDone = 0;
      const int32_t lStep = g_pDonorMng->Step(&ulDone);
      if (bWindEndsByState) {
        m_lWindStep = lStep;
        if (ulDone == 1) return 430;
        return 407;
      }
      m_lWindStep = lStep;
      return lStep == 1 ? 406u : 407u;
    }
    case 407:
      if (bWindEndsByState) return m_lWindStep < 0 ? 409u : 408u;
      return m_lWindStep == 0 ? 410u : 408u;
    case 408: {
      if (!bWindEndsByState) return m_pass.ulPlaneCode == PLANE_L ? 410u : 409u;
      uint32_t ulState = 0;
      g_pDonorMng->GetState(&ulState);
      return ulState == CDonorMng::kSearchIdle ? 430u : 406u;
    }
    case 409:
      if (bWindEndsByState) return m_pass.ulPlaneCode == PLANE_L ? 430u : 410u;
      s.lResult = -1;
      return SEQ_STEP_ERROR;
    case 410:
      if (bWindEndsByState) {
        s.lResult = -1;
        return SEQ_STEP_ERROR;
      }
      s.lResult = g_pDonorMng->StopRibbon(1, 0);
      return 420;
    case 420:
      if (bWindEndsByState) break;
      return m_pass.ulPlaneCode == PLANE_L ? 610u : 490u;
    case 430:
      if (!bWindEndsByState) break;
      s.lResult = g_pDonorMng->StopRibbon(1, 0);
      return 440;
    case 440:
      if (!bWindEndsByState) break;
      RecordSubSteps(m_pass.ulPlaneCode);
      return 450;
    case 450:
      if (!bWindEndsByState) break;
      return SteppersStopped(s.lResult) ? 460u : 450u;
    case 460:
      if (!bWindEndsByState) break;
      s.lResult = SeqWaitMs(kBackFeedSettleMs, m_ulMask);
      return 470;
    case 470:
      if (!bWindEndsByState) break;
      return m_pass.ulPlaneCode == PLANE_L ? 610u : 490u;
    // The back-feed between passes.
    case 490:
      s.lResult = g_ClutchLoad.Off();
      return 495;
    case 495:
      s.lResult = MoveLoadPinch(kLoadPinchUp, m_ulMask);
      return 500;
    case 500:
      if (bSinglePass) {
        s.lResult = EndSheetCounts();
        return 620;
      }
      if (m_variant.bDspImageSteps) StartDspImageJob();
      s.lResult = SetStatusItem(SI_PRINTER_STATE, m_pass.ulDoneState, 1);
      return 501;
    case 501:
      if (m_variant.bMarkRibbonWind) s.lResult = MoveFeedPinch(kFeedPinchDown, m_ulMask);
      return 502;
    case 502:
      g_pCurSlitRibEncSrc->Stop();
      s.lResult = g_pDonorMng->SetRibbonPhase(RIBPH_TENSION, 2);
      return 503;
    case 503:
      s.lResult = g_EjectMotor.Start(1);
      return 504;
    case 504: {
      uint32_t ulFits = 0;
      s.lResult = BackFeedAfterPass(&ulFits, m_ulMask);
      RaiseTrackingPoint(CurrentLine() - g_ulEngPosRefA);
      return ulFits == 0 ? 510u : 600u;
    }
    case 510: {
      uint32_t ulAtSensor = 0;
      g_AdPosition.GetState(&ulAtSensor);
      return ulAtSensor == 1 ? 600u : 515u;
    }
    case 515:
      g_ErrorMng.SetError(g_ulCurErrUpperJam68);
      s.lResult = -1;
      return SEQ_STEP_ERROR;
    case 600:
      s.lResult = g_pDonorMng->StopRibbon(1, 1);
      ++m_pass.ulPlaneCode;
      return kStepPassStart;
    default:
      break;
  }
  bKnown = false;
  return 0;
}

// ---- steps 610, 620, 9900 and 9990 ----
uint32_t CPrintSheetRun::SheetEndStep(SeqStepState& s, bool& bKnown) {
  switch (s.ulStep) {
    case 610:
      if (m_variant.ulPlaneKind == 1) break;
      s.lResult = EndSheetCounts();
      return 620;
    case 620:
      g_ulRibbonCheckPending &= ~UnitBit(m_ulUnit);
      *g_pCurSlackTakeUpCount = 0;
      return SEQ_STEP_END;
    case SEQ_STEP_ERROR:
      g_StpmtrMain.Stop();
      g_StpmtrSub.Stop();
      g_EjectMotor.Stop();
      g_pCurFanHead->Off();
      g_pCurFanSide->Off();
      g_PreheatL.Stop();
      g_PreheatR.Stop();
      return SEQ_STEP_END;
    case SEQ_STEP_END:
      g_ulPathChanged = 0;
      g_ulPreheatWaited = 0;
      m_bDone = true;
      return SEQ_STEP_END;
    default:
      break;
  }
  bKnown = false;
  return 0;
}

// ---- the sequences ----
int32_t ColorPrintSequence(uint32_t ulImageUnit, uint32_t ulMask) {
  CPrintSheetRun run(g_ColorSheetVariant, ulImageUnit, ulMask);
  return run.Run();
}

int32_t ColorPrintSequenceMarkSen(uint32_t ulImageUnit, uint32_t ulMask) {
  CPrintSheetRun run(g_ColorSheetMarkSenVariant, ulImageUnit, ulMask);
  return run.Run();
}
