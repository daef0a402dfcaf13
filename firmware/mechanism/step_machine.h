// The step-machine convention of every sequence: a step number advanced by
// StepAdvance after each pass, an abort check by mask after every step, an
// error step and an end step. While a sequence runs inside the main loop's
// dispatch, its abort checks keep the host commands served and the covers
// watched.
#pragma once

#include <cstdint>

// The bits of a check mask; bits not listed are ignored.
enum SeqCheckMask : uint32_t {
  SEQ_CHECK_HOST = 1,             // serve host commands once
  SEQ_CHECK_COVERS = 2,           // every cover and door sensor
  SEQ_CHECK_PAPER_END = 4,        // paper-empty sensor, mode 1
  SEQ_CHECK_PAPER_END_JAM = 8,    // paper-empty sensor, mode 2, and the paper-end jam
  SEQ_CHECK_FRONT_COVER = 16,     // the front cover only
};

// The mask of a move's own inner loop: the caller's checks without the host
// poll, so no host command runs while one part is on its way.
constexpr uint32_t WithoutHostCheck(uint32_t ulMask) { return ulMask & ~static_cast<uint32_t>(SEQ_CHECK_HOST); }

// Shared step numbers.
constexpr uint32_t SEQ_STEP_STOP = 9000;
constexpr uint32_t SEQ_STEP_ERROR = 9900;
constexpr uint32_t SEQ_STEP_END = 9990;

// The triple every step machine keeps on its stack.
struct SeqStepState {
  int32_t lResult;       // 0 while all is well, else the failure (-1 after an abort)
  uint32_t ulStep;       // the current step
  uint32_t ulPrevStep;   // the step of the last abort check that passed
};

// The cover error indexes the abort check raises and tests.
namespace seqerr {
constexpr uint32_t kSideCoverL = 0x601;
constexpr uint32_t kSideCoverR = 0x602;
constexpr uint32_t kUpperUnitL = 0x603;
constexpr uint32_t kUpperUnitR = 0x604;
constexpr uint32_t kPaperCover = 0x605;
constexpr uint32_t kPaperGuide = 0x606;
constexpr uint32_t kFrontCover = 0x607;
constexpr uint32_t kRibbonEmptyL = 0x1603;
constexpr uint32_t kRibbonEmptyR = 0x1604;
constexpr uint32_t kIncorrectRibL = 0x1600;
constexpr uint32_t kIncorrectRibR = 0x1601;
constexpr uint32_t kRibbonMismatch = 0x1605;
}  // namespace seqerr

// Called at the end of every pass, the end step's pass included:
// 1. while the result is 0, result := CheckAbort(mask) and previous := step;
// 2. below the error step (unsigned): the error step when the result is
//    non-zero, else the next step;
// 3. at or past the error step: the next step, whatever the result.
void StepAdvance(int32_t& lResult, uint32_t& ulStep, uint32_t& ulPrevStep, uint32_t ulNextStep, uint32_t ulErrorStep,
                 uint32_t ulMask);
inline void StepAdvance(SeqStepState& s, uint32_t ulNextStep, uint32_t ulErrorStep, uint32_t ulMask) {
  StepAdvance(s.lResult, s.ulStep, s.ulPrevStep, ulNextStep, ulErrorStep, ulMask);
}

// The loop of a step machine: from ulFirstStep, each pass runs `step` on
// the state (it sets the result and returns the next step; a step it does
// not know sets -1) and then StepAdvance; the loop ends after the pass that
// ran SEQ_STEP_END (RunStepsTo: the given last step, for machines whose
// steps go on past SEQ_STEP_END). Returns the result.
template <typename Step>
int32_t RunStepsTo(uint32_t ulFirstStep, uint32_t ulErrorStep, uint32_t ulLastStep, uint32_t ulMask, Step step) {
  SeqStepState s{0, ulFirstStep, 0};
  bool bDone = false;
  while (!bDone) {
    bDone = s.ulStep == ulLastStep;
    const uint32_t ulNext = step(s);
    StepAdvance(s, ulNext, ulErrorStep, ulMask);
  }
  return s.lResult;
}
template <typename Step>
int32_t RunSteps(uint32_t ulFirstStep, uint32_t ulErrorStep, uint32_t ulMask, Step step) {
  return RunStepsTo(ulFirstStep, ulErrorStep, SEQ_STEP_END, ulMask, step);
}

// The abort check: 0 go on, -1 abort (a cover error index is set or the
// application is stopping).
int32_t CheckAbort(uint32_t ulMask);

// Waits on the microsecond time base until more than ulMs (16 bits) x 1000
// us have passed, as a step machine running the abort check on every pass:
// 0, or -1 when a check aborted the wait.
int32_t SeqWaitMs(uint32_t ulMs, uint32_t ulMask);
// The same wait for more than ulUs (16 bits) microseconds.
int32_t SeqWaitTicks(uint32_t ulUs, uint32_t ulMask);
