// The plane sequencer: plans one pass (plane Y, M, C, the overcoat or SP)
// as a lead-in, the image and a run-out in paper-stepper steps, starts it
// on the print line, and counts the steps down in the line interrupt. Its
// state word tells the print sequences which stretch the paper is in:
// 0 idle, 1 started, 0x101 lead-in, 0x201 image, 0x301 run-out (with 0x1000
// once the mark distance is passed), 2 done.
#pragma once

#include <cstdint>

#include "firmware/hal/isr_shared.h"
#include "firmware/platform/global_build.h"

class CPrintLine;
struct ImageSlot;

constexpr uint32_t PLANE_STATE_IDLE = 0;
constexpr uint32_t PLANE_STATE_STARTED = 1;
constexpr uint32_t PLANE_STATE_DONE = 2;
constexpr uint32_t PLANE_STATE_LEAD_IN = 0x101;
constexpr uint32_t PLANE_STATE_IMAGE = 0x201;
constexpr uint32_t PLANE_STATE_RUN_OUT = 0x301;
constexpr uint32_t PLANE_STATE_MARK = 0x1000;

class CPlaneSequencer {
 public:
  constexpr CPlaneSequencer() = default;
  explicit CPlaneSequencer(GlobalBuild);

  // Takes the current job's slot of the current print-order row and its
  // print size (g_pCurPrintSize, with the dummy lines of its ribbon family)
  // and prepares the print line with both values. State 1; the failure of
  // the lookup or of the preparation.
  int32_t StartPlane(uint32_t ulCurveParam, uint32_t ulReserved);
  // Plans plane 0 Y, 1 M, 2 C, 3 overcoat or 4 SP and starts it on the
  // print line: 0 (state 0x101), -1 for another code, or the print line's
  // failure with the plan not applied.
  int32_t PlanPlane(uint16_t usPlaneCode);
  // Interrupt context (or a sequence in task context): one paper step.
  int32_t OnLine();

  // The state word; a late line exchange noted by the line interrupt is
  // raised here, at task level.
  int32_t GetState(uint32_t* pulState);
  int32_t SetState(uint32_t ulState);
  int32_t GetTotalSteps(uint32_t* pulSteps) const;
  int32_t GetTotalLines(uint32_t* pulLines) const;
  int32_t GetNextPlaneSteps(uint32_t* pulSteps) const;
  // The steps that bring the paper back after the plane, less the margin
  // lines. 0.
  int32_t GetPaperReturnSteps(uint32_t ulLines, uint32_t* pulSteps) const;

  // A lead-in of ulSteps steps counted every ulDivider calls, with no plan
  // behind it (the interrupt dispatch's tests).
  void HoldLeadIn(uint32_t ulSteps, uint32_t ulDivider);

  uint32_t RemainingSteps() const { return m_ulRemainingSteps; }
  uint32_t FrontSteps() const { return m_ulFrontSteps; }
  uint32_t ImageSteps() const { return m_ulImageSteps; }
  uint32_t RearSteps() const { return m_ulRearSteps; }
  uint32_t MarkThreshold() const { return m_ulMarkThreshold; }
  uint32_t FlagThreshold() const { return m_ulFlagThreshold; }
  uint32_t LineDivider() const { return m_ulLineDivider; }
  ImageSlot* PlaneSlot() const { return m_pPlaneSlot; }

 private:
  hal::IsrShared<uint32_t> m_ulRemainingSteps;
  uint32_t m_ulTotalSteps = 0;
  uint32_t m_ulTotalLines = 0;
  uint32_t m_ulMarkThreshold = 0;
  uint32_t m_ulFlagThreshold = 0;
  uint16_t m_usRearLines = 0;
  uint16_t m_usTailLines = 0;
  uint32_t m_ulFrontSteps = 0;
  uint32_t m_ulImageSteps = 0;
  uint32_t m_ulRearSteps = 0;
  hal::IsrShared<uint32_t> m_ulPlaneState;
  CPrintLine* m_pPrintLine = nullptr;
  uint32_t m_ulNextPlaneSteps = 0;
  uint32_t m_ulLineDivider = 0;
  hal::IsrShared<uint32_t> m_ulLineCounter;
  ImageSlot* m_pPlaneSlot = nullptr;
};

extern CPlaneSequencer g_PlaneSequencer;

// 0 at the plan, 1 once the flag distance of the plane is passed: the print
// sequences start their sub-stepper ramp on it.
extern hal::IsrShared<uint16_t> g_usPlaneLineFlag;
