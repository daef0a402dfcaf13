// The paper position: the paper's place in stepper steps, counted on every
// pulse of the paper-step line, and the moves that start the main and the
// sub paper stepper (and, for one move, the eject motor) towards a target.
#pragma once

#include <cstdint>

#include "firmware/hal/isr_shared.h"
#include "firmware/platform/global_build.h"

// Parameter ids of SetParam.
enum PaperPositionParam : uint32_t {
  PAPER_PARAM_EXCITATION_MODE = 3,
  PAPER_PARAM_SUB_STEP_MODE = 4,
  PAPER_PARAM_MAIN_PROFILE = 5,
  PAPER_PARAM_SUB_PROFILE = 6,
  PAPER_PARAM_NO_STOP = 7,
  PAPER_PARAM_AUX = 9,
  PAPER_PARAM_FEED_DRIVE = 10,
};
// A speed profile or feed-drive mode that starts nothing.
constexpr uint32_t PAPER_PROFILE_NONE = 40;

class CRampTable;

// A speed profile's ramp pairs: (acceleration, deceleration) of the main
// and of the sub stepper; null where the profile refuses that stepper.
struct PaperSpeedProfile {
  uint32_t ulProfile;
  const CRampTable* pMainAccel;
  const CRampTable* pMainDecel;
  const CRampTable* pSubAccel;
  const CRampTable* pSubDecel;
};
extern const PaperSpeedProfile g_aPaperSpeedProfiles[];
extern const uint32_t g_ulPaperSpeedProfileCount;

class CPaperPosition {
 public:
  constexpr CPaperPosition() = default;
  // The machine definition's construction: idle at 0, no feed drive.
  explicit CPaperPosition(GlobalBuild);
  CPaperPosition(const CPaperPosition&) = delete;
  CPaperPosition& operator=(const CPaperPosition&) = delete;

  // Target, moving flag, main profile and no-stop flag 0; the position too
  // unless kept.
  int32_t Reset(uint32_t ulKeepPosition);
  int32_t SetCurrentPoint(uint32_t ulLines);
  int32_t SetCurrentPointOffset(uint32_t ulLines, int32_t lSteps);
  int32_t GetCurrentPoint(uint32_t* pulLines) const;
  int32_t GetCurrentPointSteps(int32_t* plSteps) const;
  int32_t SetParam(uint32_t ulId, uint32_t ulValue);
  int32_t GetParam(uint32_t ulId, uint32_t* pulValue) const;
  // |target - position|.
  int32_t GetRemaining(uint32_t* pulSteps) const;
  int32_t SetRemainSteps(uint32_t ulSteps);
  int32_t GetRemainSteps(uint32_t* pulSteps) const;
  int32_t GetMoving(uint32_t* pulMoving) const;
  int32_t GetTarget(int32_t* plTarget) const;

  // ---- moves: the result of the last start step ----
  int32_t MoveSteps(int32_t lSteps);
  int32_t MoveLines(int32_t lLines);
  int32_t MoveTo(int32_t lLines, int32_t lMoreLines);
  // Starts the sub stepper, the main stepper with `pulses` steps, and the
  // eject motor when a feed drive was given for this move.
  int32_t RunSteppers(uint32_t ulPulses);

  // The end of a move: moving flag 0, the main stepper halted and, unless
  // it runs on its own, the sub stepper; both stay excited.
  int32_t StopAtTarget();
  int32_t ClearMoving();
  int32_t StopAll();
  // Interrupt context, at every pulse of the paper-step line.
  int32_t OnStepInterrupt();

 private:
  void SetDirection(int32_t lSteps);
  uint32_t PulsesFor(uint32_t ulSteps) const;

  hal::IsrShared<int32_t> m_lPosition;
  int32_t m_lTarget = 0;
  hal::IsrShared<uint32_t> m_ulMoving;
  uint32_t m_ulExcitationMode = 0;
  uint32_t m_ulSubStepMode = 0;
  uint32_t m_ulAux = 0;
  uint32_t m_ulMainProfile = 0;
  uint32_t m_ulSubProfile = 0;
  uint32_t m_ulFeedDrive = 0;
  uint32_t m_ulNoStop = 0;
  int32_t m_lIncrement = 0;
  uint32_t m_ulStepSize = 0;
  uint32_t m_ulBackward = 0;
  hal::IsrShared<uint32_t> m_ulPulseCounter;
  uint32_t m_ulPulsesPerCount = 0;
  uint32_t m_ulRemainSteps = 0;
};

extern CPaperPosition g_PaperPosition;
