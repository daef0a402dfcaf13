// The step-machine convention: StepAdvance's jumps, the abort check's
// results, and the extra check after the end step.
#include "firmware/mechanism/step_machine.h"

#include "firmware/control/error_manager.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/platform/us_timer.h"
#include "sim/bus_trace.h"
#include "sim/mechanism/mechanism_inputs.h"

namespace paneltest {
namespace {

struct AdvanceCase {
  int32_t result;
  uint32_t step;
  uint32_t next;
  uint32_t error;
  uint32_t wantStep;
  int32_t wantResult;
};

TEST_F(PanelTest, StepAdvanceJumpsToTheErrorStepOnlyBelowIt) {
  InApp([] {
    for (const AdvanceCase& c : {AdvanceCase{0, 100, 200, SEQ_STEP_ERROR, 200, 0},
                                 AdvanceCase{-3, 100, 200, SEQ_STEP_ERROR, SEQ_STEP_ERROR, -3},
                                 AdvanceCase{-1, 10, 20, SEQ_STEP_END, SEQ_STEP_END, -1},
                                 AdvanceCase{-1, SEQ_STEP_ERROR, SEQ_STEP_END, SEQ_STEP_ERROR, SEQ_STEP_END, -1},
                                 AdvanceCase{5, 9950, 9960, SEQ_STEP_ERROR, 9960, 5}}) {
      SeqStepState s{c.result, c.step, 7};
      StepAdvance(s, c.next, c.error, SEQ_CHECK_COVERS);
      EXPECT_EQ(s.ulStep, c.wantStep) << c.step;
      EXPECT_EQ(s.lResult, c.wantResult) << c.step;
      // No abort check once the result is non-zero: the previous step stays.
      EXPECT_EQ(s.ulPrevStep, c.result == 0 ? c.step : 7u) << c.step;
    }
  });
}

TEST_F(PanelTest, ACoverErrorStillSetAbortsOnlyWhenTheCoversAreChecked) {
  InApp([] {
    g_ErrorMng.SetError(seqerr::kPaperCover);
    EXPECT_EQ(CheckAbort(SEQ_CHECK_HOST), 0);
    EXPECT_EQ(CheckAbort(0x10000u), 0);  // bits not listed are ignored
    EXPECT_EQ(CheckAbort(SEQ_CHECK_COVERS), -1);
    SeqStepState s{0, 100, 0};
    StepAdvance(s, 200, SEQ_STEP_ERROR, 0x10003u);
    EXPECT_EQ(s.ulStep, SEQ_STEP_ERROR);
    EXPECT_EQ(s.lResult, -1);
    g_ErrorMng.ClearError(seqerr::kPaperCover);
    EXPECT_EQ(CheckAbort(SEQ_CHECK_COVERS), 0);
  });
}

bool ErrorSet(uint32_t ulIndex) {
  uint32_t ulFlag = 0;
  g_ErrorMng.IsErrorSet(ulIndex, &ulFlag);
  return ulFlag != 0;
}

// The covers of the mechanism, and the reads of the input word that holds
// the side, paper and upper covers (the front cover and the paper guide sit
// on word 0).
class CoverChecks : public PanelTest {
 protected:
  static constexpr uint32_t kCoverWord1 = 0x64000002u;
  sim::MechanismInputs& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  sim::BusTrace& Trace() { return m_machine->GetBoard().GetBus().Trace(); }
  size_t CoverWord1Reads() { return Trace().In(kCoverWord1, kCoverWord1 + 1, sim::BusTrace::Kind::Reads).size(); }
};

TEST_F(CoverChecks, TheFrontCoverMaskChecksTheFrontCoverAlone) {
  Trace().Start();
  InApp([this] {
    Mechanism().SetCoverOpen(sim::Cover::SideL, true);  // open, but not looked at
    EXPECT_EQ(CheckAbort(SEQ_CHECK_FRONT_COVER), 0);
    Mechanism().SetCoverOpen(sim::Cover::Front, true);
    EXPECT_EQ(CheckAbort(SEQ_CHECK_HOST), 0) << "another mask does not look";
    EXPECT_FALSE(ErrorSet(seqerr::kFrontCover));
    EXPECT_EQ(CheckAbort(SEQ_CHECK_FRONT_COVER), -1);
    EXPECT_TRUE(ErrorSet(seqerr::kFrontCover));
    EXPECT_FALSE(ErrorSet(seqerr::kSideCoverL));
    EXPECT_EQ(CoverWord1Reads(), 0u);
  });
}

TEST_F(CoverChecks, WhileTheFrontCoverIsOpenTheCoversBehindItAreNotRead) {
  InApp([this] {
    for (const sim::Cover cover : {sim::Cover::Front, sim::Cover::SideL, sim::Cover::SideR, sim::Cover::Paper,
                                   sim::Cover::PaperGuide}) {
      Mechanism().SetCoverOpen(cover, true);
    }
    EXPECT_EQ(CheckAbort(SEQ_CHECK_COVERS), -1);
    EXPECT_TRUE(ErrorSet(seqerr::kFrontCover));
    for (const uint32_t ulBehind : {seqerr::kSideCoverL, seqerr::kSideCoverR, seqerr::kPaperCover, seqerr::kPaperGuide}) {
      EXPECT_FALSE(ErrorSet(ulBehind)) << ulBehind;
    }
    Mechanism().SetCoverOpen(sim::Cover::Paper, false);
    Mechanism().SetCoverOpen(sim::Cover::PaperGuide, false);
    // Closed again and its error cleared: the side covers are read.
    Mechanism().SetCoverOpen(sim::Cover::Front, false);
    g_ErrorMng.ClearError(seqerr::kFrontCover);
    EXPECT_EQ(CheckAbort(SEQ_CHECK_COVERS), -1);
    EXPECT_TRUE(ErrorSet(seqerr::kSideCoverL));
    EXPECT_TRUE(ErrorSet(seqerr::kSideCoverR));
  });
}

// A machine whose end step runs while the application is told to stop:
// the check after the end step still turns the result into -1.
int32_t MachineStoppedAtTheEnd(uint32_t* pulSteps) {
  SeqStepState s{0, 0, 0};
  bool bDone = false;
  while (!bDone) {
    uint32_t ulNext = s.ulStep;
    ++*pulSteps;
    switch (s.ulStep) {
      case 0: ulNext = SEQ_STEP_END; break;
      case SEQ_STEP_END:
        RequestSystemReset();
        bDone = true;
        break;
      default: s.lResult = -1; break;
    }
    StepAdvance(s, ulNext, SEQ_STEP_ERROR, 0);
  }
  return s.lResult;
}

TEST_F(PanelTest, TheCheckAfterTheEndStepStillAborts) {
  InApp([] {
    uint32_t ulSteps = 0;
    EXPECT_EQ(MachineStoppedAtTheEnd(&ulSteps), -1);
    EXPECT_EQ(ulSteps, 2u);
    // A wait aborts at its first check while the stop flag is set.
    EXPECT_EQ(SeqWaitMs(1000, 0), -1);
  });
}

TEST_F(PanelTest, SeqWaitMsWaitsMoreThanItsTime) {
  InApp([] {
    const uint32_t ulStart = NowMs();
    EXPECT_EQ(SeqWaitMs(250, SEQ_CHECK_HOST), 0);
    const uint32_t ulWaited = NowMs() - ulStart;
    EXPECT_GE(ulWaited, 249u);  // the ms tick and the us counter are not in phase
    EXPECT_LE(ulWaited, 260u);
  });
}

// Both waits on the microsecond time base: more than their time, to the
// first pass after it; SeqWaitTicks takes its microseconds as 16 bits.
TEST_F(PanelTest, TheWaitsEndAtTheFirstPassPastTheirTime) {
  struct Case {
    const char* what;
    int32_t (*wait)(uint32_t, uint32_t);
    uint32_t ulArgument;
    uint32_t ulMinUs;
  };
  const Case cases[] = {
      {"SeqWaitMs(0)", SeqWaitMs, 0, 1},
      {"SeqWaitTicks(0)", SeqWaitTicks, 0, 1},
      {"SeqWaitTicks(65535)", SeqWaitTicks, 65535, 65536},
      {"SeqWaitTicks(65546): 10 in 16 bits", SeqWaitTicks, 65546, 11},
      {"SeqWaitMs(65)", SeqWaitMs, 65, 65001},
  };
  InApp([&] {
    for (const Case& c : cases) {
      const uint32_t ulStart = g_UsTimer.NowUs();
      EXPECT_EQ(c.wait(c.ulArgument, 0), 0) << c.what;
      const uint32_t ulWaited = g_UsTimer.Elapsed(ulStart, g_UsTimer.NowUs());
      EXPECT_GE(ulWaited, c.ulMinUs) << c.what;
      // A pass without checks takes a few counter reads.
      EXPECT_LE(ulWaited, c.ulMinUs + 5) << c.what;
    }
  });
}

}  // namespace
}  // namespace paneltest
