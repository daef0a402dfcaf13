// The plane sequencer: the plan of a pass as data, and its count-down at
// each paper step.
#include "firmware/printengine/plane_sequencer.h"

#include "firmware/control/engine_variant.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/hw.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/printengine/plane_lead_in.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_mode.h"

constinit CPlaneSequencer g_PlaneSequencer;
constinit hal::IsrShared<uint16_t> g_usPlaneLineFlag;
// No plane is planned yet: the print size of the plane is the large
// media's full size.
PrintSizeRecord* g_pCurPrintSize = &g_PrintSize8x12;

namespace {

constexpr uint32_t kSlotOfCurrentRow = 3;
constexpr uint32_t kLowByte = 0xFFu;
constexpr uint32_t kStretchLow = 1;
// The paper-return distance is measured from this position.
constexpr uint32_t kPaperReturnOrigin = 65755;

enum PlanLength : uint8_t { LENGTH_PRINT, LENGTH_OVERCOAT };

// One plane's plan: its image, run-out and tail, the next plane's lead-in,
// image and tail, the step divider and its flag-line setting.
struct PlanRow {
  PlanLength eImage;
  uint8_t ucRearPlane;
  PlanLength eTail;
  uint8_t ucNextFrontPlane;
  bool bNextFrontExtra;
  PlanLength eNextImage;
  PlanLength eNextTail;
  uint8_t ucDivider;
  CParameter* pFlagLines;
};

constexpr PlanRow kPlan[PRINT_PLANES] = {
    {LENGTH_PRINT, PLANE_Y, LENGTH_PRINT, PLANE_M, true, LENGTH_PRINT, LENGTH_PRINT, 1, &g_ParamPlaneFlagLinesY},
    {LENGTH_PRINT, PLANE_M, LENGTH_PRINT, PLANE_C, true, LENGTH_PRINT, LENGTH_PRINT, 1, &g_ParamPlaneFlagLinesM},
    {LENGTH_PRINT, PLANE_C, LENGTH_PRINT, PLANE_OVERCOAT, false, LENGTH_OVERCOAT, LENGTH_OVERCOAT, 1,
     &g_ParamPlaneFlagLinesC},
    {LENGTH_OVERCOAT, PLANE_OVERCOAT, LENGTH_OVERCOAT, PLANE_Y, false, LENGTH_PRINT, LENGTH_PRINT, 1,
     &g_ParamPlaneFlagLinesL},
    {LENGTH_PRINT, PLANE_SP, LENGTH_PRINT, PLANE_Y, false, LENGTH_PRINT, LENGTH_PRINT, 4, &g_ParamPlaneFlagLinesSP},
};

uint32_t Steps(uint32_t ulLines) { return LinesToSteps(ulLines & 0xFFFFu); }

uint32_t ImageLines(const PrintSizeRecord& size, PlanLength eLength) {
  return (eLength == LENGTH_OVERCOAT ? size.ulOvercoatLength : size.ulPrintLength) + size.aulExtraLines[0] +
         size.aulExtraLines[1];
}

uint32_t TailLines(const PrintSizeRecord& size, PlanLength eLength) {
  return eLength == LENGTH_OVERCOAT ? size.ulOvercoatTailLines : size.ulColourTailLines;
}

}  // namespace

CPlaneSequencer::CPlaneSequencer(GlobalBuild) {
  m_ulRemainingSteps = 0;
  m_ulPlaneState = PLANE_STATE_IDLE;
  m_pPrintLine = &g_PrintLine;
}

int32_t CPlaneSequencer::StartPlane(uint32_t ulCurveParam, uint32_t ulReserved) {
  m_ulPlaneState = PLANE_STATE_STARTED;
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetCurrentJob(&pJob) != 0 || pJob == nullptr) return -1;
  ImageSlot* pSlot = nullptr;
  const int32_t lResult = g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, kSlotOfCurrentRow);
  if (lResult != 0 || pSlot == nullptr) return lResult != 0 ? lResult : -1;
  PrintSizeRecord* pSize = g_ulPrintMode == PRINT_MODE_MULTI_UP ? pJob->pPrintSize : pSlot->pParams;
  if (pSize == nullptr) return -1;
  m_pPlaneSlot = pSlot;
  g_pCurPrintSize = pSize;
  // Every size but the 8x10 full size prints with the 8x12 dummy lines.
  const PrintSizeRecord& dummies = pSize->ulSizeId == PRINT_SIZE_ID_8X10 ? g_PrintSize8x10 : g_PrintSize8x12;
  if (pSize != &dummies) {
    for (uint32_t i = 0; i < PRINT_PLANES; ++i) {
      pSize->aulFrontDummyLines[i] = dummies.aulFrontDummyLines[i];
      pSize->aulRearDummyLines[i] = dummies.aulRearDummyLines[i];
    }
  }
  return m_pPrintLine->PreparePlane(ulCurveParam, ulReserved);
}

int32_t CPlaneSequencer::PlanPlane(uint16_t usPlaneCode) {
  g_usPlaneLineFlag = 0;
  if (usPlaneCode >= PRINT_PLANES) return -1;
  const PlanRow& plan = kPlan[usPlaneCode];
  const PrintSizeRecord& size = *g_pCurPrintSize;
  const bool bFillIn = m_pPlaneSlot != nullptr && m_pPlaneSlot->usFillIn == 1;
  const uint32_t ulF = PlaneLeadInLines(usPlaneCode, size, bFillIn);
  const uint32_t ulI = ImageLines(size, plan.eImage);
  const uint32_t ulR = size.aulRearDummyLines[plan.ucRearPlane];
  const uint32_t ulT = TailLines(size, plan.eTail);
  const uint32_t ulNF =
      size.aulFrontDummyLines[plan.ucNextFrontPlane] + (plan.bNextFrontExtra ? size.ulFrontExtraLines : 0);
  const uint32_t ulNI = ImageLines(size, plan.eNextImage);
  const uint32_t ulNT = TailLines(size, plan.eNextTail);
  const uint32_t ulK = static_cast<uint32_t>(SettingValue(g_ParamPlaneMarkLines));
  const uint32_t ulG = g_ulRollEndDetected != 0 ? 0u : static_cast<uint32_t>(SettingValue(*plan.pFlagLines));
  m_ulLineDivider = plan.ucDivider;
  m_ulLineCounter = 0;

  const int32_t lResult = m_pPrintLine->StartPlane(usPlaneCode);
  if (lResult != 0) return lResult;

  m_usTailLines = static_cast<uint16_t>(ulT);
  m_usRearLines = static_cast<uint16_t>(ulR);
  m_ulFrontSteps = Steps(ulF);
  m_ulImageSteps = Steps(ulI);
  m_ulRearSteps = Steps(ulR);
  m_ulTotalSteps = m_ulFrontSteps + m_ulImageSteps + m_ulRearSteps;
  m_ulRemainingSteps = m_ulTotalSteps;
  m_ulTotalLines = ulF + ulI + ulR;
  m_ulMarkThreshold = m_ulTotalSteps - Steps(ulK);
  m_ulFlagThreshold = m_ulTotalSteps - Steps(ulG);
  m_ulNextPlaneSteps =
      Steps(ulNF) + Steps(ulI) + Steps(ulR) + (Steps(ulNI) + Steps(ulNT) - Steps(ulI) - Steps(ulT));
  m_ulPlaneState = PLANE_STATE_LEAD_IN;
  return 0;
}

int32_t CPlaneSequencer::OnLine() {
  // The print line's handshake inside may be reached from task context:
  // the caller's mask comes back as it was.
  const uint32_t ulSaved = SaveIrqAndDisable();
  const uint32_t ulState = m_ulPlaneState;
  if ((ulState & kLowByte) != kStretchLow) {
    RestoreIrq(ulSaved);
    return 0;
  }
  uint32_t ulCounter = m_ulLineCounter + 1;
  bool bStep = false;
  if (ulCounter >= m_ulLineDivider) {
    ulCounter = 0;
    uint32_t ulRemaining = m_ulRemainingSteps;
    if (ulRemaining != 0) {
      --ulRemaining;
      m_ulRemainingSteps = ulRemaining;
      if (ulRemaining == 0) {
        m_ulPlaneState = PLANE_STATE_DONE;
      } else {
        uint32_t ulNew = ulState;
        const uint32_t ulMark = ulState & PLANE_STATE_MARK;
        if (ulRemaining <= m_ulRearSteps) {
          ulNew = ulMark | PLANE_STATE_RUN_OUT;
        } else if (ulRemaining <= m_ulRearSteps + m_ulImageSteps) {
          ulNew = ulMark | PLANE_STATE_IMAGE;
        }
        if (ulRemaining <= m_ulMarkThreshold) ulNew |= PLANE_STATE_MARK;
        m_ulPlaneState = ulNew;
        if (ulRemaining <= m_ulFlagThreshold) g_usPlaneLineFlag = 1;
        bStep = true;
      }
    }
  }
  m_ulLineCounter = ulCounter;
  if (bStep && m_pPrintLine->GetSegmentPosition() != LINE_SEG_PRINT) m_pPrintLine->StepLineSegment();
  RestoreIrq(ulSaved);
  return 0;
}

void CPlaneSequencer::HoldLeadIn(uint32_t ulSteps, uint32_t ulDivider) {
  m_ulLineDivider = ulDivider;
  m_ulLineCounter = 0;
  m_ulRearSteps = 0;
  m_ulImageSteps = 0;
  m_ulTotalSteps = ulSteps;
  m_ulMarkThreshold = 0;
  m_ulFlagThreshold = 0;
  m_ulRemainingSteps = ulSteps;
  m_ulPlaneState = PLANE_STATE_LEAD_IN;
}

int32_t CPlaneSequencer::GetState(uint32_t* pulState) {
  m_pPrintLine->ReportLateExchange();
  *pulState = m_ulPlaneState;
  return 0;
}

int32_t CPlaneSequencer::SetState(uint32_t ulState) {
  m_ulPlaneState = ulState;
  return 0;
}

int32_t CPlaneSequencer::GetTotalSteps(uint32_t* pulSteps) const {
  *pulSteps = m_ulTotalSteps;
  return 0;
}

int32_t CPlaneSequencer::GetTotalLines(uint32_t* pulLines) const {
  *pulLines = m_ulTotalLines;
  return 0;
}

int32_t CPlaneSequencer::GetNextPlaneSteps(uint32_t* pulSteps) const {
  *pulSteps = m_ulNextPlaneSteps;
  return 0;
}

int32_t CPlaneSequencer::GetPaperReturnSteps(uint32_t ulLines, uint32_t* pulSteps) const {
  uint32_t ulSteps = Steps(kPaperReturnOrigin - g_ulEngPosRefA);
  if (m_usRearLines > m_usTailLines) {
    ulSteps -= Steps(static_cast<uint32_t>(m_usRearLines - m_usTailLines));
  } else {
    ulSteps += Steps(static_cast<uint32_t>(m_usTailLines - m_usRearLines));
  }
  *pulSteps = ulSteps - Steps(ulLines);
  return 0;
}
