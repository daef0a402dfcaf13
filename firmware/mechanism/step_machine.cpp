#include "firmware/mechanism/step_machine.h"

#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/host_command_poll.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/platform/us_timer.h"

void StepAdvance(int32_t& lResult, uint32_t& ulStep, uint32_t& ulPrevStep, uint32_t ulNextStep, uint32_t ulErrorStep,
                 uint32_t ulMask) {
  if (lResult == 0) {
    lResult = CheckAbort(ulMask);
    ulPrevStep = ulStep;
  }
  if (ulStep < ulErrorStep) {
    ulStep = lResult != 0 ? ulErrorStep : ulNextStep;
  } else {
    ulStep = ulNextStep;
  }
}

namespace {

// A cover found open: its error index, the mechanism re-initialisation and
// the supervisor's note.
void RaiseCover(uint32_t ulIndex) {
  g_ErrorMng.SetError(ulIndex);
  if (g_pCurEventMng != nullptr) g_pCurEventMng->SetEvent(EV_INIT_MECHA);
  NoteCoverOpened();
}

// True when the sensor was read and shows the given level. A failed read
// gives no fresh value; the cover then counts as closed (the sensor has
// raised its own error index).
bool Reads(CoverSensor eSensor, uint32_t ulLevel) {
  uint32_t ulReading = 0;
  return ReadCoverSensor(eSensor, &ulReading) == 0 && ulReading == ulLevel;
}

void CheckFrontCover() {
  if (!Reads(COVER_FRONT, 0)) return;
  RaiseCover(seqerr::kFrontCover);
  g_PowerSave.SetCoverRequest(1);
}

void CheckUpperUnit(CoverSensor eSensor, uint32_t ulIndex, uint32_t ulRibbonEmpty, uint32_t ulIncorrectRib) {
  if (!Reads(eSensor, 1)) return;
  RaiseCover(ulIndex);
  g_ErrorMng.ClearError(ulRibbonEmpty);
  g_ErrorMng.ClearError(ulIncorrectRib);
  g_ErrorMng.ClearError(seqerr::kRibbonMismatch);
}

constexpr uint32_t kCoverIndexes[] = {seqerr::kSideCoverL, seqerr::kSideCoverR, seqerr::kUpperUnitL,
                                      seqerr::kUpperUnitR, seqerr::kPaperCover, seqerr::kPaperGuide,
                                      seqerr::kFrontCover};

}  // namespace

int32_t CheckAbort(uint32_t ulMask) {
  int32_t lResult = 0;
  if (ulMask & SEQ_CHECK_HOST) PollHostCommands();

  if (ulMask & SEQ_CHECK_FRONT_COVER) {
    CheckFrontCover();
    if (IsErrorRaised(seqerr::kFrontCover)) return -1;
  }

  if (ulMask & SEQ_CHECK_COVERS) {
    CheckFrontCover();
    // With the front cover open the covers behind it are not read.
    if (!IsErrorRaised(seqerr::kFrontCover)) {
      if (Reads(COVER_SIDE_L, 1)) RaiseCover(seqerr::kSideCoverL);
      if (Reads(COVER_SIDE_R, 1)) RaiseCover(seqerr::kSideCoverR);
      if (Reads(COVER_PAPER, 1)) RaiseCover(seqerr::kPaperCover);
      if (Reads(COVER_PAPER_GUIDE, 0)) RaiseCover(seqerr::kPaperGuide);
    }
    CheckUpperUnit(COVER_UPPER_L, seqerr::kUpperUnitL, seqerr::kRibbonEmptyL, seqerr::kIncorrectRibL);
    CheckUpperUnit(COVER_UPPER_R, seqerr::kUpperUnitR, seqerr::kRibbonEmptyR, seqerr::kIncorrectRibR);
    // A cover closed again aborts as long as its error index stays set.
    for (uint32_t ulIndex : kCoverIndexes) {
      if (IsErrorRaised(ulIndex)) return -1;
    }
  }

  if (ulMask & SEQ_CHECK_PAPER_END) CheckPaperEmpty(1);

  if (ulMask & SEQ_CHECK_PAPER_END_JAM) {
    CheckPaperEmpty(2);
    if (IsErrorRaised(CurrentPaperEndJamIndex())) return -1;
  }

  StepDspRequestIfBusy();

  if (g_ulMainLoopStop != 0) lResult = -1;
  return lResult;
}

namespace {

// Both waits: more than ulWaitUs on the microsecond time base.
int32_t SeqWaitUs(uint32_t ulWaitUs, uint32_t ulMask) {
  enum : uint32_t { STEP_START = 0, STEP_WAIT = 10 };
  uint32_t ulStart = 0;
  return RunSteps(STEP_START, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case STEP_START:
        ulStart = g_UsTimer.NowUs();
        return STEP_WAIT;
      case STEP_WAIT:
        return g_UsTimer.Elapsed(ulStart, g_UsTimer.NowUs()) > ulWaitUs ? SEQ_STEP_END : STEP_WAIT;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return s.ulStep;
    }
  });
}

}  // namespace

int32_t SeqWaitMs(uint32_t ulMs, uint32_t ulMask) { return SeqWaitUs((ulMs & 0xFFFFu) * 1000u, ulMask); }

int32_t SeqWaitTicks(uint32_t ulUs, uint32_t ulMask) { return SeqWaitUs(ulUs & 0xFFFFu, ulMask); }
