// The ribbon motors' step drives on quiet motors and encoders that only the
// test moves: each case starts a drive, then steps it while the test counts
// pulses at chosen moments of virtual time.
#include "firmware/sequences/ribbon_step_drive.h"

#include <gtest/gtest.h>

#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_test_rig.h"
#include "sim/fpga/fpga_main_block.h"

namespace ribbontest {
namespace {

struct DriveCase {
  const char* name;
  bool supply;
  bool clutchOnBefore;
  uint32_t duty;
  uint32_t counts;
  // Pulses counted at each attempt's start (one entry per attempt the
  // case reaches); the rest are never counted.
  std::vector<uint32_t> pulsesPerAttempt;
  int32_t result;
  std::vector<uint32_t> duties;  // the duty of each attempt
  bool clutchOnAfter;
  bool ribbonEmpty;
};

const std::vector<DriveCase> kCases = {
    {"target 0 idle, done at once", false, false, 60, 0, {}, 0, {}, false, false},
    {"take-up reaches its target in the first window", false, false, 60, 5, {5}, 0, {60}, false, false},
    {"duty 95 to 100 and staying 100", false, false, 95, 5, {0, 0, 5}, 0, {95, 100, 100}, false, false},
    {"three missed windows: ribbon empty, braked", false, false, 60, 5, {0, 0, 0}, -1, {60, 70, 80}, false, true},
    {"supply switches the clutch off when it was off", true, false, 100, 4, {4}, 0, {100}, false, false},
    {"supply leaves the clutch on when it was on", true, true, 100, 4, {4}, 0, {100}, true, false},
};

class RibbonStepDrives : public QuietRibbon, public ::testing::WithParamInterface<DriveCase> {};

TEST_P(RibbonStepDrives, CountEachAttemptInItsWindow) {
  const DriveCase& c = GetParam();
  static const DriveCase* s_case;
  static int32_t s_lResult;
  static std::vector<uint32_t> s_duties;
  static uint32_t s_ulSteps, s_ulClutch, s_ulEmpty, s_ulDoneAgain;
  static sim::FpgaMainBlock* s_pFpga;
  s_case = &c;
  s_duties.clear();
  s_pFpga = &Fpga();
  InApp([] {
    const DriveCase& k = *s_case;
    const uint32_t ulChannel = k.supply ? kSupplyCounter : kTakeUpCounter;
    RibbonStepDrive& d = k.supply ? g_SupplyDrive : g_TakeUpDrive;
    if (k.clutchOnBefore) g_pCurClutchRibRvs->On(); else g_pCurClutchRibRvs->Off();
    k.supply ? StartSupplyDrive(k.duty, k.counts) : StartTakeUpDrive(k.duty, k.counts);
    uint32_t ulDone = 0;
    uint32_t ulAttempt = 0;
    bool bAttemptCounted = false;
    s_lResult = 0;
    s_ulSteps = 0;
    const uint32_t ulFrom = paneltest::NowMs();
    while (ulDone == 0 && s_lResult == 0 && paneltest::NowMs() - ulFrom < 5000) {
      if (d.ulStep == RIBBON_DRIVE_COUNTING && !bAttemptCounted) {
        s_duties.push_back(d.ulDuty);
        if (ulAttempt < k.pulsesPerAttempt.size() && k.pulsesPerAttempt[ulAttempt] != 0) {
          s_pFpga->CountPulses(ulChannel, k.pulsesPerAttempt[ulAttempt]);
        }
        bAttemptCounted = true;
      }
      if (d.ulStep == RIBBON_DRIVE_RETRY) {
        ++ulAttempt;
        bAttemptCounted = false;
      }
      s_lResult = k.supply ? StepSupplyDrive(&ulDone, 0) : StepTakeUpDrive(&ulDone, 0);
      ++s_ulSteps;
    }
    g_pCurClutchRibRvs->GetState(&s_ulClutch);
    g_ErrorMng.IsErrorSet(g_ulCurErrRibbonEmpty, &s_ulEmpty);
    // An idle drive reports done at once.
    ulDone = 0;
    k.supply ? StepSupplyDrive(&ulDone, 0) : StepTakeUpDrive(&ulDone, 0);
    s_ulDoneAgain = ulDone;
    g_ErrorMng.ClearError(g_ulCurErrRibbonEmpty);
  }, Ms(10000));
  EXPECT_EQ(s_lResult, c.result) << c.name;
  EXPECT_EQ(s_duties, c.duties) << c.name;
  EXPECT_EQ(s_ulClutch != 0, c.clutchOnAfter) << c.name;
  EXPECT_EQ(s_ulEmpty != 0, c.ribbonEmpty) << c.name;
  EXPECT_EQ(s_ulDoneAgain, 1u) << c.name;
  if (c.counts == 0) {
    EXPECT_EQ(s_ulSteps, 1u) << c.name;
  }
  // Every drive ends braked (the quiet motors: polarity 1, both lines set).
  if (c.counts != 0) {
    const uint16_t brake = c.supply ? 0x000C : 0x0003;
    EXPECT_EQ(QuietLines() & brake, brake) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RibbonStepDrives, ::testing::ValuesIn(kCases));

TEST(RibbonStepDuty, RisesByTenUpTo100) {
  EXPECT_EQ(StepUpDuty(60), 70u);
  EXPECT_EQ(StepUpDuty(95), 100u);
  EXPECT_EQ(StepUpDuty(100), 100u);
}

}  // namespace
}  // namespace ribbontest
