// The FPGA interrupt's dispatch: each pin's owner and counter, the line
// pin's switch, the line trigger on every second paper step, and the
// acknowledge of bits it does not dispatch.
#include "firmware/devices/fpga_interrupt.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>

#include "firmware/devices/stepper_test_rig.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/plane_sequencer.h"
#include "sim/bus_trace.h"
#include "sim/soc/gpio.h"

namespace steppertest {
namespace {

using Counts = std::array<uint32_t, FPGA_IRQ_PINS>;

class FpgaDispatch : public StepperTest {
 protected:
  sim::GpioController& Gpio() { return *m_machine->GetBoard().FindDevice<sim::GpioController>(); }
  // Falling edges on the pins at one instant, released 1 us later.
  void PulsePins(std::initializer_list<uint32_t> pins) {
    for (uint32_t pin : pins) Gpio().DriveInput(pin, false);
    RunFor(1000);
    for (uint32_t pin : pins) Gpio().ReleaseInput(pin);
    RunFor(Ms(1));
  }
  static Counts Handled() {
    Counts a{};
    for (uint32_t i = 0; i < FPGA_IRQ_PINS; ++i) a[i] = g_ulFpgaIrqCount[i];
    return a;
  }
  // The print line and the plane sequencer held in a long lead-in: a paper
  // step counts a plane step and steps the line segment, a line pulse steps
  // the line segment only.
  static void HoldPlane() {
    g_PrintLine.SetSegmentPosition(LINE_SEG_LEAD_IN, 100000, 1);
    g_PlaneSequencer.HoldLeadIn(100000, 1);
  }
  static uint32_t LineTicks() { return 100000 - g_PrintLine.StepsLeft(); }
  static uint32_t PlaneTicks() { return 100000 - g_PlaneSequencer.RemainingSteps(); }
  static uint32_t Countdown(const CStpmtr& motor) {
    uint32_t ulCount = 0;
    motor.GetCountdown(&ulCount);
    return ulCount;
  }
};

TEST_F(FpgaDispatch, EachPinRunsItsOwnerAndCountsOnceAPulse) {
  struct Case {
    std::initializer_list<uint32_t> pins;
    Counts added;
    uint32_t ulMainSteps, ulSubSteps, ulDonorPulses, ulLineTicks, ulPlaneTicks;
  };
  const Case cases[] = {
      {{3, 5}, {0, 0, 1, 0, 1, 0, 0, 0}, 1, 1, 1, 0, 0},
      {{3}, {0, 0, 1, 0, 0, 0, 0, 0}, 1, 0, 1, 0, 0},
      {{4}, {0, 0, 0, 1, 0, 0, 0, 0}, 0, 0, 0, 0, 1},
      {{2}, {0, 1, 0, 0, 0, 0, 0, 0}, 0, 0, 0, 1, 0},
      {{1, 6}, {1, 0, 0, 0, 0, 1, 0, 0}, 0, 0, 0, 0, 0},
      {{1, 2, 3, 4, 5, 6}, {1, 1, 1, 1, 1, 1, 0, 0}, 1, 1, 1, 1, 1},
  };
  InApp([] {
    g_StpmtrMain.SetCountdown(100);
    g_StpmtrSub.SetCountdown(100);
    g_pDonorMng->SetStepCounting(1);
    HoldPlane();
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::vector<uint32_t>(c.pins)));
    const Counts before = Handled();
    const uint32_t ulMain = Countdown(g_StpmtrMain), ulSub = Countdown(g_StpmtrSub);
    uint32_t ulDonor = 0;
    g_pDonorMng->GetStepPulseCount(&ulDonor);
    const uint32_t ulLine = LineTicks(), ulPlane = PlaneTicks();
    PulsePins(c.pins);
    const Counts after = Handled();
    for (uint32_t i = 0; i < FPGA_IRQ_PINS; ++i) EXPECT_EQ(after[i] - before[i], c.added[i]) << "counter " << i;
    EXPECT_EQ(ulMain - Countdown(g_StpmtrMain), c.ulMainSteps);
    EXPECT_EQ(ulSub - Countdown(g_StpmtrSub), c.ulSubSteps);
    uint32_t ulDonorAfter = 0;
    g_pDonorMng->GetStepPulseCount(&ulDonorAfter);
    EXPECT_EQ(ulDonorAfter - ulDonor, c.ulDonorPulses);
    EXPECT_EQ(LineTicks() - ulLine, c.ulLineTicks + c.ulPlaneTicks) << "a counted plane step steps the line too";
    EXPECT_EQ(PlaneTicks() - ulPlane, c.ulPlaneTicks);
    EXPECT_EQ(Gpio().IntStatus(0), 0u) << "every pending bit acknowledged";
  }
}

TEST_F(FpgaDispatch, TheLineWordsSwitchTheLinePinAndTriggerEverySecondPaperStep) {
  InApp([] {
    HoldPlane();
    g_ulLineIrqEnable = 1;
    g_usLineIrqFlags[0] = 1;
    g_usLineIrqFlags[2] = 1;
  });
  m_machine->GetBoard().GetBus().Trace().Start();
  struct Case {
    uint32_t ulPin;
    uint32_t ulEnable;
    uint32_t ulTriggerWrites;
  };
  // 1 -> 2: no trigger; 2 -> 3: the trigger written 0 then 1.
  for (const Case& c : {Case{4, 2, 0}, Case{4, 3, 2}, Case{4, 4, 0}, Case{2, 4, 0}}) {
    const size_t writesBefore = m_machine->GetBoard().GetBus().Trace().In(0x6400001Cu, 0x6400001Du, sim::BusTrace::Kind::Writes).size();
    const uint32_t ulLine = LineTicks() - PlaneTicks();
    PulsePins({c.ulPin});
    EXPECT_EQ(g_ulLineIrqEnable, c.ulEnable);
    const auto writes = m_machine->GetBoard().GetBus().Trace().In(0x6400001Cu, 0x6400001Du, sim::BusTrace::Kind::Writes);
    ASSERT_EQ(writes.size() - writesBefore, c.ulTriggerWrites) << "pin " << c.ulPin;
    if (c.ulTriggerWrites == 2) {
      EXPECT_EQ(writes[writesBefore].value & 0x4u, 0u);
      EXPECT_EQ(writes[writesBefore + 1].value & 0x4u, 0x4u);
    }
    EXPECT_EQ(LineTicks() - PlaneTicks(), ulLine) << "the line pin only counts while the word is set";
  }
  // The flagged counters count the line pin's pulses only: the one the
  // trigger started and the one above.
  EXPECT_EQ(g_usLineIrqCounts[0], 2);
  EXPECT_EQ(g_usLineIrqCounts[1], 0);
  EXPECT_EQ(g_usLineIrqCounts[2], 2);
  InApp([] { g_ulLineIrqEnable = 0; });
  const uint32_t ulLine = LineTicks() - PlaneTicks();
  PulsePins({2});
  EXPECT_EQ(LineTicks() - PlaneTicks(), ulLine + 1);
  EXPECT_EQ(g_usLineIrqCounts[0], 3);
}

TEST_F(FpgaDispatch, ABankOneBitIsAcknowledgedWithTheNextPinAndDispatchesNothing) {
  constexpr uint32_t kBankOnePin = 16 + 7;
  Gpio().Write(sim::GpioController::kPairBase + sim::GpioController::kSetFalTrig, 4, 1u << kBankOnePin);
  PulsePins({kBankOnePin});
  EXPECT_EQ(Gpio().IntStatus(0), 1u << kBankOnePin) << "bank 1 raises no interrupt of its own";
  const Counts before = Handled();
  PulsePins({1});
  EXPECT_EQ(Gpio().IntStatus(0), 0u);
  const Counts after = Handled();
  EXPECT_EQ(after[0], before[0] + 1);
  for (uint32_t i = 1; i < FPGA_IRQ_PINS; ++i) EXPECT_EQ(after[i], before[i]) << i;
}

}  // namespace
}  // namespace steppertest
