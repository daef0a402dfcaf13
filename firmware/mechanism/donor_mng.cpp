#include "firmware/mechanism/donor_mng.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/global.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/donor_mng_mark.h"
#include "firmware/mechanism/ribbon_duty.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/single_pass.h"
#include "firmware/service/log_data.h"

uint32_t g_ulSlackTakeUpCountL;
uint32_t g_ulSlackTakeUpCountR;

namespace {

// Tightening may raise the take-up duty this far above its duty at the
// start, in steps of this much per interval without supply motion.
constexpr uint32_t kTightenHeadroom = 20;
constexpr uint32_t kTightenStep = 5;
// The print log's field of the print take-up duty of plane 0; planes 1-3
// follow.
constexpr uint32_t kPrintLogTakeUpDuty = 0xa0000;

// One motor run forward (mode 1) or in reverse (mode 2) at the duty.
void RunMotor(CChopMotor& motor, uint32_t ulMode, uint32_t ulDuty) {
  motor.SetDuty(ulDuty);
  if (ulMode == CDonorMng::kModeForward) {
    motor.Forward();
  } else {
    motor.Reverse();
  }
}

bool IsRunMode(uint32_t ulMode) { return ulMode == CDonorMng::kModeForward || ulMode == CDonorMng::kModeReverse; }

}  // namespace

CDonorMng::CDonorMng(GlobalBuild) {
  // Each manager leaves the ribbon motors of its own unit braked: at
  // construction the current unit is unit A for all four, and unit B's
  // motors would otherwise stay as their construction left them.
  const bool bUnitL = IsUnitL();
  (bUnitL ? g_ChopMotorRibSrcL : g_ChopMotorRibSrcR).Brake();
  (bUnitL ? g_ChopMotorRibDstL : g_ChopMotorRibDstR).Brake();
  m_ulStallTimeout = g_MsTimer.MsToTicks(kStallTimeoutMs);
  m_aulBarcodeRuns[0] = kBarcodeRunEnd;
}

// ---- the base slots -------------------------------------------------------------------------

int32_t CDonorMng::SearchWait() { return 0; }
int32_t CDonorMng::SearchSample() { return 0; }
int32_t CDonorMng::SearchStop() { return 0; }
int32_t CDonorMng::StartPanelSearch(uint32_t) { return 0; }
int32_t CDonorMng::StartPhase(uint32_t, uint32_t) { return 0; }
int32_t CDonorMng::Step(uint32_t*) { return 0; }
int32_t CDonorMng::MeasurePanelColor(uint32_t, uint32_t*) { return 0; }
int32_t CDonorMng::GetEdgeCount(uint32_t*) { return 0; }
int32_t CDonorMng::SetEdgeCount(uint32_t) { return 0; }
int32_t CDonorMng::ResetDetection() { return 0; }
int32_t CDonorMng::FindMarkPattern() { return 0; }
int32_t CDonorMng::CheckPanelMarks() { return 0; }
int32_t CDonorMng::BackgroundStep() { return 0; }
int32_t CDonorMng::IdentifyRibbonType() { return 0; }

// ---- drive and stop -------------------------------------------------------------------------

int32_t CDonorMng::BrakeMotors() {
  if (m_ulKeepClutch == 0) g_pCurChopMotorRibSrc->Brake();
  g_pCurChopMotorRibDst->Brake();
  return 0;
}

int32_t CDonorMng::DriveMotors(uint32_t ulTakeUpMode, uint32_t ulTakeUpDuty, uint32_t ulSupplyMode,
                               uint32_t ulSupplyDuty) {
  m_ulTakeUpMode = ulTakeUpMode;
  m_ulSupplyMode = ulSupplyMode;
  if (IsRunMode(ulTakeUpMode)) {
    m_ulTakeUpDuty = ulTakeUpDuty;
    RunMotor(*g_pCurChopMotorRibDst, ulTakeUpMode, ulTakeUpDuty);
  } else if (ulTakeUpMode == kModeStop) {
    g_pCurChopMotorRibDst->Stop();
  }
  if (IsRunMode(ulSupplyMode)) {
    // The supply rewinds only through the engaged reverse clutch.
    if (ulSupplyMode == kModeReverse) g_pCurClutchRibRvs->On();
    m_ulSupplyDuty = ulSupplyDuty;
    RunMotor(*g_pCurChopMotorRibSrc, ulSupplyMode, ulSupplyDuty);
  } else if (ulSupplyMode == kModeStop && m_ulKeepClutch == 0) {
    g_pCurChopMotorRibSrc->Stop();
  }
  return 0;
}

int32_t CDonorMng::StopRibbon(uint32_t ulKeepEncoders, uint32_t ulReleaseClutch) {
  m_ulTakeUpDuty = 0;
  m_ulSupplyDuty = 0;
  BrakeMotors();
  if (ulReleaseClutch != 0 && m_ulKeepClutch == 0) g_pCurClutchRibRvs->Off();
  if (ulKeepEncoders == 0) {
    g_pCurSlitRibEncSrc->Clear();
    g_pCurSlitRibEncDst->Clear();
  }
  return 0;
}

int32_t CDonorMng::SetKeepClutch(uint32_t ulFlag) {
  m_ulKeepClutch = ulFlag;
  return 0;
}

int32_t CDonorMng::SetRibbonPhase(uint32_t ulPhase, uint32_t ulDirection) {
  if (ulPhase >= RIBPH_COUNT) return -1;
  const RibbonPhaseRow& row = g_aRibbonPhases[ulPhase];
  uint32_t ulTakeUpDuty = 0;
  uint32_t ulSupplyDuty = 0;
  GetPhaseDuty(RIBBON_SIDE_TAKE_UP, row.ucDutyIndex, &ulTakeUpDuty);
  GetPhaseDuty(RIBBON_SIDE_SUPPLY, row.ucDutyIndex, &ulSupplyDuty);

  // A new phase starts the stall watch afresh.
  m_ulLastMotionTime = g_MsTimer.NowMs();
  ReadSupplyCount(&m_ulLastSupplyCount);

  // A search asked to end, or a fast wind after a search whose target the
  // ribbon has already passed, stops one count further.
  if (m_ulPanelEndRequest != 0) {
    EndPanelSearch();
  } else if (m_ulSearchState != kSearchStarted && m_ulSearchState != kSearchSampling && row.bEndsPassedSearch &&
             EncoderDistance(m_ulLastSupplyCount, m_ulSupplyTarget) < 0) {
    EndPanelSearch();
  }

  const bool bForward = ulDirection == 1;
  const uint32_t ulMode = bForward ? kModeForward : kModeReverse;
  uint32_t ulTakeUpMode = ulMode;
  uint32_t ulSupplyMode = ulMode;
  const RibbonMotorRule eTakeUp = bForward ? row.eTakeUpForward : row.eTakeUpOther;
  const RibbonMotorRule eSupply = bForward ? row.eSupplyForward : row.eSupplyOther;
  if (eTakeUp == RIBMOTOR_STOP) {
    ulTakeUpMode = kModeStop;
    ulTakeUpDuty = 0;
  }
  if (eSupply != RIBMOTOR_RUN) {
    ulSupplyMode = eSupply == RIBMOTOR_STOP ? kModeStop : kModeUntouched;
    ulSupplyDuty = 0;
  }

  // A print phase starts its take-up at the motor model's duty and keeps
  // its table duty for the print line to apply once printing is under way.
  const int32_t lPlane = PrintPlaneOfPhase(ulPhase);
  if (lPlane >= 0) {
    m_ulPrintTakeUpDuty = ulTakeUpDuty;
    GetPrintTakeUpDuty(ulPhase, &ulTakeUpDuty);
    if (g_ulSinglePass != 0) ulTakeUpDuty = RIBBON_SINGLE_PASS_DUTY;
    g_PrintLog.SetField(kPrintLogTakeUpDuty + static_cast<uint32_t>(lPlane), m_ulPrintTakeUpDuty);
  }

  m_ulRibbonPhase = ulPhase;
  m_ulStepAdvanced = 0;
  return DriveMotors(ulTakeUpMode, ulTakeUpDuty, ulSupplyMode, ulSupplyDuty);
}

// ---- targets and motion ---------------------------------------------------------------------

int32_t CDonorMng::SetTarget(uint32_t ulCounts) {
  uint32_t ulCount = 0;
  const int32_t lResult = g_pCurSlitRibEncSrc->ReadCount(&ulCount);
  if (lResult == 0) m_ulSupplyTarget = EncoderTarget(ulCount, ulCounts);
  return lResult;
}

int32_t CDonorMng::SetTakeUpTarget(uint32_t ulCounts) {
  uint32_t ulCount = 0;
  const int32_t lResult = g_pCurSlitRibEncDst->ReadCount(&ulCount);
  if (lResult == 0) m_ulTakeUpTarget = EncoderTarget(ulCount, ulCounts);
  return lResult;
}

int32_t CDonorMng::IsAtTarget(uint32_t ulRequireMotion, uint32_t* pulDone) {
  return CheckTargetOn(false, ulRequireMotion, pulDone);
}

int32_t CDonorMng::IsAtTakeUpTarget(uint32_t ulRequireMotion, uint32_t* pulDone) {
  return CheckTargetOn(true, ulRequireMotion, pulDone);
}

int32_t CDonorMng::CheckTargetOn(bool bTakeUp, uint32_t ulRequireMotion, uint32_t* pulDone) {
  *pulDone = 0;
  CSlit& slit = bTakeUp ? *g_pCurSlitRibEncDst : *g_pCurSlitRibEncSrc;
  if (ulRequireMotion != 0) {
    uint32_t ulChanged = 0;
    int32_t lResult = slit.HasChanged(&ulChanged);
    if (lResult != 0) return lResult;
    // The stall watch stays on the supply encoder.
    uint32_t ulStalled = 0;
    lResult = CheckStall(&ulStalled);
    if (lResult != 0) return lResult;
    if (ulStalled != 0) return -1;
  }
  uint32_t ulCount = 0;
  const int32_t lResult = slit.ReadCount(&ulCount);
  if (lResult != 0) return lResult;
  if (EncoderDistance(ulCount, bTakeUp ? m_ulTakeUpTarget : m_ulSupplyTarget) <= 0) *pulDone = 1;
  return 0;
}

int32_t CDonorMng::GetRemainingCount(int32_t* plCounts) {
  uint32_t ulCount = 0;
  const int32_t lResult = ReadSupplyCount(&ulCount);
  if (lResult == 0) *plCounts = EncoderDistance(ulCount, m_ulSupplyTarget);
  return lResult;
}

int32_t CDonorMng::CheckStall(uint32_t* pulStalled) {
  const uint32_t ulNow = g_MsTimer.NowMs();
  *pulStalled = 0;
  uint32_t ulCount = 0;
  const int32_t lResult = ReadSupplyCount(&ulCount);
  if (lResult != 0) return lResult;
  if (ulCount != m_ulLastSupplyCount) {
    m_ulLastSupplyCount = ulCount;
    m_ulLastMotionTime = ulNow;
  } else if (ulNow - m_ulLastMotionTime > m_ulStallTimeout) {
    *pulStalled = 1;
    g_ErrorMng.SetError(g_ulCurErrRibbonEmpty);
  }
  return 0;
}

int32_t CDonorMng::StopOnFault() {
  if (IsColorSensorManager()) g_pCurColorSensorSet->Reset();
  StopRibbon(0, 1);
  g_ErrorMng.SetError(g_ulCurErrRibbonEmpty);
  m_ulSearchState = kSearchIdle;
  return 0;
}

int32_t CDonorMng::EndPanelSearch() {
  if (IsColorSensorManager()) g_pCurColorSensorSet->Reset();
  uint32_t ulCount = 0;
  ReadSupplyCount(&ulCount);
  m_ulSupplyTarget = EncoderTarget(ulCount, 1);
  m_ulSearchState = kSearchStopping;
  m_ulPanelEndRequest = 0;
  return 0;
}

int32_t CDonorMng::SetAdvanceMark(uint32_t ulValue) {
  m_ulPanelEndRequest = ulValue;
  return 0;
}

int32_t CDonorMng::GetState(uint32_t* pulState) const {
  *pulState = m_ulSearchState;
  return 0;
}

// ---- tightening -----------------------------------------------------------------------------

int32_t CDonorMng::StartTighten(uint32_t ulIntervalMs, uint32_t ulCounts) {
  m_ulTightenStartCount = m_ulLastSupplyCount;
  m_ulTightenInterval = g_MsTimer.MsToTicks(ulIntervalMs);
  m_ulTightenDutyLimit = m_ulTakeUpDuty + kTightenHeadroom;
  m_ulTightenCounts = ulCounts;
  return 0;
}

int32_t CDonorMng::StepTighten(uint32_t* pulDone) {
  *pulDone = 0;
  uint32_t ulChanged = 0;
  uint32_t ulCount = 0;
  int32_t lResult = g_pCurSlitRibEncSrc->HasChanged(&ulChanged);
  const uint32_t ulNow = g_MsTimer.NowMs();
  if (lResult == 0) lResult = ReadSupplyCount(&ulCount);
  if (lResult == 0 && ulChanged != 0) {
    m_ulLastSupplyCount = ulCount;
    m_ulLastMotionTime = ulNow;
    if (EncoderDistance(m_ulTightenStartCount, ulCount) >= static_cast<int32_t>(m_ulTightenCounts)) *pulDone = 1;
  } else if (lResult == 0 && ulNow - m_ulLastMotionTime > m_ulTightenInterval) {
    // No supply motion for an interval: the take-up pulls harder, up to its
    // limit.
    m_ulLastMotionTime = ulNow;
    const uint32_t ulDuty = m_ulTakeUpDuty + kTightenStep;
    if (ulDuty > m_ulTightenDutyLimit) {
      lResult = -1;
    } else {
      m_ulTakeUpDuty = ulDuty;
      g_pCurChopMotorRibDst->SetDuty(ulDuty);
    }
  }
  if (lResult != 0) StopOnFault();
  return lResult;
}

// ---- lengths and counting -------------------------------------------------------------------

int32_t CDonorMng::LengthToCounts(uint32_t ulLines, uint32_t* pulCounts) {
  const bool bUnitL = IsUnitL();
  const uint32_t ulMeasuredCounts = bUnitL ? m_ulMeasuredCountsL : m_ulMeasuredCountsR;
  uint32_t ulPerUnit = 0;
  uint32_t ulDenominator = 0;
  int32_t lResult = 0;
  if (ulMeasuredCounts != 0) {
    ulPerUnit = ulMeasuredCounts;
    ulDenominator = bUnitL ? m_ulMeasuredLinesL : m_ulMeasuredLinesR;
  } else {
    lResult = g_pRibbonRoll->GetCountScale0(&ulPerUnit);
    ulDenominator = g_pRibbonRoll->GetLinesPerPrint();
  }
  uint32_t ulCounts = 0;
  if (ulDenominator != 0) {
    // Sixteenths of a count, rounded up to whole counts; in 64 bits so a
    // long stretch cannot wrap.
    const uint64_t ullSixteenths = static_cast<uint64_t>(ulLines) * ulPerUnit * 16u / ulDenominator;
    const uint64_t ullCounts = ullSixteenths / 16u + ((ullSixteenths & 15u) != 0 ? 1u : 0u);
    ulCounts = ullCounts > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(ullCounts);
  }
  *pulCounts = ulCounts;
  return lResult;
}

int32_t CDonorMng::SetLastPrintCounts(uint32_t ulCounts, uint32_t ulLines) {
  if (IsUnitL()) {
    m_ulMeasuredCountsL = ulCounts;
    m_ulMeasuredLinesL = ulLines;
  } else {
    m_ulMeasuredCountsR = ulCounts;
    m_ulMeasuredLinesR = ulLines;
  }
  return 0;
}

int32_t CDonorMng::CountStepPulse() {
  if (m_ulCountingEnabled != 0) m_ulStepPulseCount = m_ulStepPulseCount + 1;
  return 0;
}

int32_t CDonorMng::SetStepCounting(uint32_t ulOn) {
  m_ulStepPulseCount = 0;
  m_ulCountingEnabled = ulOn;
  return 0;
}

int32_t CDonorMng::GetStepPulseCount(uint32_t* pulCount) const {
  *pulCount = m_ulStepPulseCount;
  return 0;
}

int32_t CDonorMng::GetRibbonSize(uint32_t* pulSize) const {
  if (!IsRibbonRollModel(g_pRibbonRoll)) {
    *pulSize = 0;
    return -1;
  }
  *pulSize = g_pRibbonRoll->GetRibbonSize();
  return 0;
}

int32_t CDonorMng::GetRibbonKind(uint32_t* pulKind) const {
  *pulKind = g_pRibbonRoll->GetRibbonKind();
  return 0;
}

int32_t CDonorMng::SetDebugValue(uint32_t ulValue) {
  m_ulDebugValue = ulValue;
  g_ulLogData[0] = ulValue;
  return 0;
}

int32_t CDonorMng::GetDebugValue(uint32_t* pulValue) const {
  *pulValue = m_ulDebugValue;
  return 0;
}

int32_t CDonorMng::GetNextPanel(uint32_t ulPhase, uint32_t* pulPanel) {
  if (ulPhase >= RIBPH_COUNT || g_aRibbonPhases[ulPhase].ucNextPanel == RIBBON_NO_PANEL) return -1;
  *pulPanel = g_aRibbonPhases[ulPhase].ucNextPanel;
  return 0;
}

int32_t CDonorMng::GetSearchDirection(uint32_t ulPhase, uint32_t* pulDirection) {
  if (ulPhase >= RIBPH_COUNT || g_aRibbonPhases[ulPhase].ucStartDirection == RIBBON_NO_DIRECTION) return -1;
  *pulDirection = g_aRibbonPhases[ulPhase].ucStartDirection;
  return 0;
}

// ---- the object's kind and unit -------------------------------------------------------------

bool CDonorMng::IsColorSensorManager() const { return this == &g_DonorMngColorSenL || this == &g_DonorMngColorSenR; }

bool CDonorMng::IsUnitL() const { return this == &g_DonorMngMarkSenL || this == &g_DonorMngColorSenL; }

int32_t CDonorMng::ReadSupplyCount(uint32_t* pulCount) const { return g_pCurSlitRibEncSrc->ReadCount(pulCount); }

void ConstructDonorManagers() {
  hal::ConstructGlobal(g_DonorMngMarkSenL, kGlobalBuild);
  hal::ConstructGlobal(g_DonorMngMarkSenR, kGlobalBuild);
  hal::ConstructGlobal(g_DonorMngColorSenL, kGlobalBuild);
  hal::ConstructGlobal(g_DonorMngColorSenR, kGlobalBuild);
}
